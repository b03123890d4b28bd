// SPDX-License-Identifier: GPL-2.0-only
// The native command-line build with a printer description file: the
// description, the sample in the repository, and the state file that keeps
// the printer's serial number across runs.
#include "support.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

class Cli : public PrnfeedTest {
  protected:
    // Writes the description file of the test and returns its name.
    std::string describe(const std::string &text) {
        std::ofstream(dir + "/printer.txt") << text;
        return "printer.txt";
    }
};

TEST_F(Cli, PrintsAFileToTheDescribedPrinter) {
    make_file("job.prn", pattern(9000));
    std::string description = "windows=xp\n"
                              "interface=usbprint\n"
                              "path=\\\\?\\usb#vid_1a2b&pid_0100#1#{28d78fad}\n"
                              "device_id=MFG:Maker;MDL:P-100;CLS:PRINTER;\n"
                              "output=received.bin\n"
                              "summary=summary.txt\n";
    Outcome run = run_cli(describe(description), {"job.prn"});
    EXPECT_EQ(run.exit_value, 0);
    EXPECT_EQ(read_file(dir + "/received.bin"), read_file(dir + "/job.prn"));
    EXPECT_EQ(run.out, banner() +
                           "Printing to P-100\nPrinting....(0/9000)\rPrinting....(4096/9000)\r"
                           "Printing....(8192/9000)\r\nPrinting complete...!\n");
    std::string summary = read_file(dir + "/summary.txt");
    EXPECT_NE(summary.find("received_bytes=9000\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("open_handles=0\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("live_blocks=0\n"), std::string::npos) << summary;
}

TEST_F(Cli, WithoutDescriptionNoPrinterIsAttached) {
    make_file("job.prn", pattern(10));
    Outcome run = run_cli("", {"job.prn"});
    EXPECT_EQ(run.exit_value, 255);
    EXPECT_EQ(run.out, banner());
    EXPECT_EQ(run.err, "\tPrinter is not ready!\n");
}

// The sample sets only a device ID for its printer (the path is the
// default) and keeps output, summary and state in the working directory.
TEST_F(Cli, SampleDescriptionPrintsAndKeepsTheSerialNumber) {
    standin::Bytes data = pattern(5000);
    make_file("job.prn", data);
    Outcome run = run_cli(SAMPLE_PRINTER, {"/ab12", "job.prn"});
    EXPECT_EQ(run.exit_value, 0) << run.err;
    EXPECT_NE(run.out.find("USB Serial Number write OK [ AB12-"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Printing to P-100\n"), std::string::npos) << run.out;
    EXPECT_EQ(read_file(dir + "/received.prn"), std::string(data.begin(), data.end()));
    EXPECT_EQ(read_file(dir + "/printer.state").rfind("serial=AB12-", 0), 0u);
    EXPECT_NE(read_file(dir + "/summary.txt").find("received_bytes=5000\n"), std::string::npos);

    // Every key the sample shows commented out is taken, with the value shown.
    std::istringstream lines(read_file(SAMPLE_PRINTER));
    std::string all;
    for (std::string line; std::getline(lines, line);) {
        all += (line.size() > 1 && line[0] == '#' && std::isalpha(line[1]) ? line.substr(1) : line);
        all += "\n";
    }
    EXPECT_EQ(standin::load_description(describe(all)), "");
}

TEST_F(Cli, DescriptionThatCannotBeUsedSaysWhatIsWrong) {
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

// Discovery faults that only a description can bring to the command-line
// build: each makes the one printer unusable.
TEST_F(Cli, DescribedDiscoveryFaultsSkipThePrinter) {
    for (const char *fault :
         {"reported_size=4", "reported_size=20", "unterminated_path=1", "global_alloc_fail_at=1"}) {
        SCOPED_TRACE(fault);
        fresh_system();
        ASSERT_EQ(standin::load_description(
                      describe(std::string("device_id=MFG:M;MDL:Q;\n") + fault + "\n")),
                  "");
        Outcome run = run_prnfeed({"job.prn"});
        EXPECT_EQ(run.err, "\tPrinter is not ready!\n");
        EXPECT_CLEAN();
    }
}

TEST_F(Cli, PrinterWithoutPathGetsOneOfItsClass) {
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

// The printer keeps its serial number in a state file of its own; the
// description is never rewritten.
TEST_F(Cli, PrinterRemembersItsSerialNumber) {
    standin::Bytes data = pattern(5000);
    std::string file = make_file("job.bin", data);
    std::string description = dir + "/printer.txt";
    std::string received = dir + "/received.bin";
    describe(std::string("time=2003-09-08 12:34:56\n") + "interface=usbprint\n" +
             "path=" + PRINTER_PATH + "\n" + "device_id=MFG:Maker;MDL:P-100;\n" +
             "output=" + received + "\n");
    const std::string described = read_file(description);
    const std::string state = description + ".state";
    // A blank printer is written; in the next run it is found registered.
    Outcome run;
    for (const char *step : {"write OK [ ", "already registered[ "}) {
        run = run_cli(description, {"/ab12", file});
        EXPECT_EQ(run.exit_value, 0) << run.err;
        EXPECT_NE(run.out.find(std::string("USB Serial Number ") + step + "AB12-03090845296 ]\n"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(read_file(received), std::string(data.begin(), data.end()));
        EXPECT_EQ(read_file(description), described);
        EXPECT_EQ(read_file(state), "serial=AB12-03090845296\n");
    }
    EXPECT_EQ(run.out.find("write OK"), std::string::npos);
}

} // namespace
