/* The user header compiled as plain C, as a C user program includes it. */
#include <stddef.h>

#include "tolvex.h"

_Static_assert(sizeof(GPORT_DATA) == 8, "GPORT_DATA is 8 bytes");
_Static_assert(offsetof(GPORT_DATA, ulvalue) == 4, "ulvalue at offset 4");
_Static_assert(sizeof(TSADC_DATA) == 8, "TSADC_DATA is 8 bytes");
_Static_assert(offsetof(TSADC_DATA, yp) == 4, "yp at offset 4");

int tolvex_header_c_sizes(unsigned *gport, unsigned *tsadc, unsigned *last_cmd);

int tolvex_header_c_sizes(unsigned *gport, unsigned *tsadc, unsigned *last_cmd) {
    GPORT_DATA g = {0, 0};
    TSADC_DATA t = {0, 0};

    *gport = sizeof(g);
    *tsadc = sizeof(t);
    *last_cmd = TOLVEX_CMD_PW_STOP_MODE_TEST;
    return g.uloffset + t.xp;
}
