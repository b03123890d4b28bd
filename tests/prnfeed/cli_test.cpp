// The native command-line build with a printer description file.
#include "support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

namespace {

class Cli : public PrnfeedTest {
  protected:
    int run_cli(const std::string &description, const std::string &args) {
        std::string command = "cd '" + dir + "' && ";
        if (!description.empty()) {
            std::ofstream(dir + "/printer.txt") << description;
            command += "PRNFEED_STANDIN_PRINTER=printer.txt ";
        } else {
            command += "env -u PRNFEED_STANDIN_PRINTER ";
        }
        command += std::string(PRNFEED_CLI) + " " + args + " >out.txt 2>err.txt";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    EXPECT_EQ(run_cli(description, "job.prn"), 0);
    EXPECT_EQ(read_file(dir + "/received.bin"), read_file(dir + "/job.prn"));
    EXPECT_EQ(read_file(dir + "/out.txt"),
              banner() + "Printing to P-100\nPrinting....(0/9000)\rPrinting....(4096/9000)\r"
                         "Printing....(8192/9000)\r\nPrinting complete...!\n");
    std::string summary = read_file(dir + "/summary.txt");
    EXPECT_NE(summary.find("received_bytes=9000\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("open_handles=0\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("live_blocks=0\n"), std::string::npos) << summary;
}

TEST_F(Cli, WithoutDescriptionNoPrinterIsAttached) {
    make_file("job.prn", pattern(10));
    EXPECT_EQ(run_cli("", "job.prn"), 255);
    EXPECT_EQ(read_file(dir + "/out.txt"), banner());
    EXPECT_EQ(read_file(dir + "/err.txt"), "\tPrinter is not ready!\n");
}

} // namespace
