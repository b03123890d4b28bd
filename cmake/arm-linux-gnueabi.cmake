# SPDX-License-Identifier: GPL-2.0-only
# The board: ARMv5TE, EABI, little-endian, soft-float Linux.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
include(${CMAKE_CURRENT_LIST_DIR}/arm-target.cmake)
string(JOIN " " CMAKE_C_FLAGS_INIT ${KIT_ARM_CPU_FLAGS})
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The one way board binaries run here, for tests, demos and by hand (the arm
# build installs it as stand-in/run-board): the board's own CPU, so that an
# instruction the board lacks fails here too.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu arm926 -L /usr/arm-linux-gnueabi)
