// SPDX-License-Identifier: GPL-2.0-only
// Banner, usage and the sorting of the command-line arguments.
#include "support.h"

#include <cstring>

namespace {

using standin::sys;

class CommandLine : public PrnfeedTest {};

TEST_F(CommandLine, NoArgumentGivesBannerAndUsageAndTouchesNoPrinter) {
    add_usb_printer();
    Outcome run = run_prnfeed({});
    EXPECT_EQ(run.exit_value, -1);
    EXPECT_EQ(run.out, banner());
    EXPECT_EQ(run.err, "\tUsage: PRNFEED.EXE [filename.ext]\n"
                       "\t    or PRNFEED.EXE [filename.ext] </LINECODE>\n"
                       "\t    or PRNFEED.EXE </LINECODE>\n");
    EXPECT_EQ(standin::call_names(), std::vector<std::string>{"GetModuleFileNameA"});
    EXPECT_EQ(calls_of("GetModuleFileNameA"), std::vector<std::string>{"NULL, 256 -> 18"});
}

TEST_F(CommandLine, FileWithoutPrinterIsNotReadyAndFileIsNotOpened) {
    std::string file = make_file("a.prn", pattern(10));
    Outcome run = run_prnfeed({file});
    EXPECT_EQ(run.exit_value, -1);
    EXPECT_EQ(run.out, banner());
    EXPECT_EQ(run.err, "\tPrinter is not ready!\n");
    EXPECT_EQ(count_calls("CreateFileA"), 0);
    EXPECT_EQ(count_calls("SetupDiEnumDeviceInterfaces"), 1);
}

TEST_F(CommandLine, SecondFileNameWinsAndThirdArgumentIsIgnored) {
    standin::Interface &printer = add_usb_printer();
    std::string first = make_file("first.prn", pattern(100, 1));
    std::string second = make_file("second.prn", pattern(200, 2));
    std::string third = make_file("third.prn", pattern(300, 3));
    Outcome run = run_prnfeed({first, second, third});
    EXPECT_EQ(run.exit_value, 0);
    EXPECT_EQ(printer.printer.received, pattern(200, 2));
    EXPECT_EQ(run.err, "");

    // A third argument counts for nothing, not even its length.
    standin::Interface &again = fresh_printer();
    run = run_prnfeed({first, "/ab12", std::string(300, 'x')});
    EXPECT_EQ(run.exit_value, 0);
    EXPECT_EQ(again.printer.received, pattern(100, 1));
}

TEST_F(CommandLine, LineCodeAndFileNameInEitherOrder) {
    std::string file = make_file("job.prn", pattern(50));
    for (const auto &args :
         {std::vector<std::string>{"/ab12", file}, std::vector<std::string>{file, "-ab12"}}) {
        standin::Interface &printer = fresh_printer();
        Outcome run = run_prnfeed(args);
        EXPECT_EQ(run.exit_value, 0);
        EXPECT_NE(run.out.find("Printing complete...!\n"), std::string::npos);
        const standin::Bytes &got = printer.printer.received;
        ASSERT_GE(got.size(), 50u);
        EXPECT_EQ(standin::Bytes(got.end() - 50, got.end()), pattern(50));
    }
}

TEST_F(CommandLine, EmptyArgumentIsAFileNameThatDoesNotOpen) {
    add_usb_printer();
    Outcome run = run_prnfeed({""});
    EXPECT_EQ(run.exit_value, -1);
    EXPECT_EQ(run.err, "\tFile open error...()");
}

// Line code alone (also a bare prefix): the run ends after the serial-number
// step, with 0 for a written serial number, without looking for a file or
// sending print data.
TEST_F(CommandLine, LineCodeWithoutFileNameEndsAfterSerialStep) {
    for (const char *code : {"/ab12", "-", "/", "-7"}) {
        SCOPED_TRACE(code);
        standin::Printer &printer = fresh_printer().printer;
        Outcome run = run_prnfeed({code});
        EXPECT_EQ(run.exit_value, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.find("Printing to"), std::string::npos);
        for (const std::string &open : calls_of("CreateFileA")) {
            EXPECT_EQ(open.rfind(PRINTER_PATH, 0), 0u) << open;
        }
        EXPECT_EQ(count_calls("GlobalAlloc"), 1); // discovery's detail block only
        EXPECT_TRUE(printer.received.empty());
        EXPECT_EQ(printer.out_opens, 1);
        EXPECT_EQ(sys().file_opens, 0);
        EXPECT_CLEAN();
    }
}

// Refused before the printer is asked anything: an argument that would be
// cut (and print another file), and a line code whose taken characters (the
// last four after the prefix) are not visible ASCII other than ',', which
// would spoil the serial number for good.
TEST_F(CommandLine, UnusableArgumentIsRefusedBeforeThePrinterQuery) {
    const std::string cut = "\tArgument too long...(";
    const std::string spoil = "\tLine code not usable for a serial number...(";
    const std::pair<std::string, std::string> cases[] = {
        {std::string(256, 'f'), cut},
        {"/" + std::string(255, 'c'), cut},
        {"/ab 1", spoil},
        {"/ab1\n", spoil},
        {"-ab,1", spoil},
        {"/abc\x7f", spoil},
        {"/\xe9", spoil},
        {"/ab12\t", spoil},
        {"/x,y ", spoil},
        {std::string("/ab\x01") + "2", spoil},
    };
    for (const auto &[arg, message] : cases) {
        SCOPED_TRACE(arg);
        fresh_printer();
        Outcome run = run_prnfeed({"job.prn", arg});
        EXPECT_EQ(run.exit_value, -1);
        EXPECT_EQ(run.out, banner());
        EXPECT_EQ(run.err, message + arg + ")\n");
        EXPECT_EQ(standin::call_names(), std::vector<std::string>{"GetModuleFileNameA"});
        EXPECT_CLEAN();
    }
    // 255 characters still fit their buffer.
    fresh_system();
    Outcome run = run_prnfeed({"/" + std::string(254, 'c')});
    EXPECT_EQ(run.err, "\tPrinter is not ready!\n");
}

struct ModuleName {
    const char *path;
    const char *name;
};

class BannerName : public PrnfeedTest, public ::testing::WithParamInterface<ModuleName> {};

TEST_P(BannerName, ShowsTheUpperCasedBaseName) {
    sys().module_path = GetParam().path;
    Outcome run = run_prnfeed({});
    std::string name = GetParam().name;
    EXPECT_EQ(run.out, name + " Version 1.0(08/20/2002)\n\n");
    EXPECT_EQ(run.err, "\tUsage: " + name + ".EXE [filename.ext]\n\t    or " + name +
                           ".EXE [filename.ext] </LINECODE>\n\t    or " + name +
                           ".EXE </LINECODE>\n");
}

INSTANTIATE_TEST_SUITE_P(ModulePaths, BannerName,
                         ::testing::Values(ModuleName{"C:\\KIT\\PRNFEED.EXE", "PRNFEED"},
                                           ModuleName{"c:\\tools\\prnfeed.exe", "PRNFEED"},
                                           ModuleName{"D:feeder.exe", "FEEDER"},
                                           ModuleName{"C:\\a.b\\c/d\\my.feed.v2.exe", "MY.FEED.V2"},
                                           ModuleName{"C:/work/Line-3_prn.exe", "LINE-3_PRN"},
                                           ModuleName{"\\\\server\\share\\dir.v1\\prnfeed",
                                                      "PRNFEED"},
                                           ModuleName{"prnfeed.exe", "PRNFEED"},
                                           // Both ends of a-z, and their neighbours kept.
                                           ModuleName{"C:\\kit\\zap.exe", "ZAP"},
                                           ModuleName{"C:\\kit\\`az{@[.exe", "`AZ{@["}));

// An over-long module path comes back cut and, before version 6, without a
// terminator; the name is taken from the 255 characters that fit.
TEST_F(CommandLine, OverLongModulePathIsCutNotOverRead) {
    for (standin::Version version : {standin::Version::xp, standin::Version::vista}) {
        sys().version = version;
        sys().module_path = "C:\\" + std::string(290, 'p') + ".exe";
        Outcome run = run_prnfeed({});
        EXPECT_EQ(run.out, std::string(252, 'P') + " Version 1.0(08/20/2002)\n\n");
    }
}

} // namespace
