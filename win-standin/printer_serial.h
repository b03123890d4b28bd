// The simulated printer's serial-number escape commands.
//
// The printer holds a 16-character USB serial number (sixteen '0' when it
// was never set). On its output pipe it understands two commands, each sent
// as one write:
//   read:  ESC "%-43.21SR"                 answer: the command, the serial
//   write: ESC "%-43.21SW" + 16 characters answer: the command, 0x00, the
//                                          serial now held
// Answers are queued on the input pipe. A write that is one of these
// commands is never print data: it does not show in what the printer
// records as received, whether it was taken whole or not. A command taken
// only in part is kept in the command list but not acted on.
#ifndef WIN_STANDIN_PRINTER_SERIAL_H
#define WIN_STANDIN_PRINTER_SERIAL_H

#include <windows.h>

#include <string>
#include <vector>

namespace standin {

struct Printer;

struct EscapeCommands {
    std::string serial = std::string(16, '0'); // what the printer holds

    // Faults.
    std::string read_echo;       // echo in the read answer instead of the command itself
    long read_reply_length = -1; // the read answer cut to this many bytes (0: no answer)
    long write_reply_length = -1;
    int write_gap = 0x00;        // byte between echo and serial in the write answer
    bool write_ignored = false;  // answers a write but keeps the serial it held
    int write_reply_garble = -1; // position of a serial character the write answer changes

    // Every command offered on the output pipe, in order, as sent.
    std::vector<std::vector<unsigned char>> commands;
    bool stored = false; // a write command changed the serial number
};

// Called by the output pipe for each write: returns true when the offered
// bytes are an escape command (then they are not print data); the printer
// acts on it when it took all of them.
bool printer_escape(Printer &printer, const unsigned char *data, DWORD offered, DWORD taken);

// Printer description settings of the escape commands (serial=<16
// characters>, serial_read_echo=<10 characters>, serial_read_reply_length=<n>,
// serial_write_reply_length=<n>, serial_write_gap=<n>, serial_write_ignored=1,
// serial_write_garble=<position>). Returns false for any other key; error
// is set for a bad value.
bool escape_setting(Printer &printer, const std::string &key, const std::string &value,
                    std::string &error);

// Writes the serial number each printer now holds back into its
// "serial=" line of the description file (adding the line after the
// printer's "interface=" line when it has none), so that the next run sees
// the printer as a real one would. Leaves the file alone when no serial
// number changed. Returns an empty string or the error.
std::string store_serial_numbers(const std::string &file_name);

} // namespace standin

#endif
