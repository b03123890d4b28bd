// SPDX-License-Identifier: GPL-2.0-only
// The native command-line build with a printer description file: the
// description, the sample in the repository, and the state file that keeps
// the printer's serial number across runs.
#include "support.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

using Cli = PrnfeedTest;

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
