// SPDX-License-Identifier: GPL-2.0-only
/*
 * The user header compiled as plain C, as a C user program includes it:
 * the records' layout and the command codes are fixed by the module's
 * interface, so a change to any of them stops the build.
 */
#include <stddef.h>

#include "tolvex.h"

_Static_assert(sizeof(GPORT_DATA) == 8, "GPORT_DATA is 8 bytes");
_Static_assert(offsetof(GPORT_DATA, uloffset) == 0, "uloffset at offset 0");
_Static_assert(offsetof(GPORT_DATA, ulvalue) == 4, "ulvalue at offset 4");
_Static_assert(sizeof(TSADC_DATA) == 8, "TSADC_DATA is 8 bytes");
_Static_assert(offsetof(TSADC_DATA, xp) == 0, "xp at offset 0");
_Static_assert(offsetof(TSADC_DATA, yp) == 4, "yp at offset 4");
_Static_assert(TOLVEX_CMD_PW_STOP_MODE == 1 && TOLVEX_CMD_GPORT_READ == 2 &&
                   TOLVEX_CMD_GPORT_WRITE == 3 && TOLVEX_PBA_END_GPOTEST == 4 &&
                   TOLVEX_CMD_TS_ADC == 5 && TOLVEX_CMD_PW_STOP_MODE_TEST == 6,
               "command codes 1 to 6");
