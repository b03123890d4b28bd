// SPDX-License-Identifier: GPL-2.0-only
// The printer model compiled as C++ (it is built as C everywhere else).
#include "printer_model.c"
