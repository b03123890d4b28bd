// SPDX-License-Identifier: GPL-2.0-only
// The Windows-API stand-in's printer descriptions: what a description may
// say, what it refuses and why, and the printers it makes.
#include "support.h"

#include <fstream>

namespace {

using Description = PrnfeedTest;

TEST_F(Description, ThatCannotBeUsedSaysWhatIsWrong) {
    const std::string start = "a printer starts with interface=usbprint, interface=alt or a "
                              "printer setting such as device_id=";
    const struct {
        std::string text;
        std::string error; // after "printer.txt"
    } cases[] = {
        {"interface=usbprint\ndevice_id=MFG:M;MDL:P;\n", ""},
        {"interface=usbprint\n", ""},     // a printer without device ID
        {"device_id=MFG:M;MDL:P;\n", ""}, // a USB printing-class printer
        {"summary=s.txt\n\nwindows=98\n", ": no printer: " + start},
        {"interface=usbprint\ncolour=1\n", ":2: unknown setting colour"},
        {"colour=1\n", ":1: unknown setting colour"},
        {"interface=usbprint\nshort_write_at=two\n", ":2: bad value for short_write_at: two"},
        {"file_read_fail_at=x\n", ":1: bad value for file_read_fail_at: x"},
        {"interface=alt\nserial=AB12\n", ":2: bad value for serial: AB12"},
        {"interface=usb\n", ":1: unknown interface class usb"},
        {"# printer\ninterface=usbprint\nP-100\n", ":3: no '='"},
        // A key cut at a NUL byte would be taken for another one.
        {std::string("interface=usbprint\noutput\0=f\n", 29), ":2: a NUL byte"},
        {"interface=usbprint\npath=\n", ":2: path= needs the device interface path"},
        {"interface=usbprint\npath=\\\\.\\P\ninterface=alt\npath=\\\\.\\p\n",
         ": printers 1 and 2 have the same path"},
        {"windows=3.1\n", ":1: unknown windows version 3.1"},
        {"time=noon\n", ":1: bad time noon"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        fresh_system();
        std::string expected = c.error.empty() ? "" : "printer.txt" + c.error;
        EXPECT_EQ(standin::load_description(describe(c.text)), expected);
    }
    // The command-line build stops before the program runs.
    Outcome run = run_cli(describe("interface=usbprint\ncolour=1\n"), {"job.prn"});
    EXPECT_EQ(run.exit_value, 97);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "win-standin: printer.txt:2: unknown setting colour\n");
}

TEST_F(Description, PrinterWithoutPathGetsOneOfItsClass) {
    // A device ID before any interface= line starts a USB printing-class
    // printer of its own.
    ASSERT_EQ(standin::load_description(describe("device_id=MFG:M;MDL:Q;\ninterface=alt\n"
                                                 "interface=usbprint\n")),
              "");
    const printer_model &first = standin::sys().interfaces.front().printer.model;
    EXPECT_EQ(std::string(first.device_id, first.device_id_length), "MFG:M;MDL:Q;");
    std::vector<std::string> paths;
    for (const standin::Interface &iface : standin::sys().interfaces) {
        paths.push_back(iface.path);
    }
    const std::string usb_class = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "\\\\?\\usb#vid_1a2b&pid_0100#STANDIN1" + usb_class, "\\\\.\\ALTPRN2",
                         "\\\\?\\usb#vid_1a2b&pid_0100#STANDIN3" + usb_class}));
}

} // namespace
