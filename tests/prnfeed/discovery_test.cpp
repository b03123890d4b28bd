// SPDX-License-Identifier: GPL-2.0-only
// Windows version test, choice of interface class, the requests sent, and
// the search for the first interface that opens with its pipe paths.
#include "support.h"

#include <cstring>

namespace {

using standin::sys;
using standin::Version;

class Discovery : public PrnfeedTest {
  protected:
    // Device interface path whose pipe paths are that path plus the suffix.
    static std::string path_of(char tag, std::size_t length) {
        std::string path = "\\\\?\\usb#vid_1a2b&pid_0100#";
        path += std::string(length - path.size(), tag);
        return path;
    }
};

TEST_F(Discovery, Nt5OrLaterOnlyForNtPlatformFromVersion5) {
    struct {
        Version version;
        int expected;
    } cases[] = {{Version::win95, 0},   {Version::win98, 0}, {Version::winme, 0}, {Version::nt4, 0},
                 {Version::win2000, 1}, {Version::xp, 1},    {Version::vista, 1}};
    for (const auto &c : cases) {
        sys().version = c.version;
        EXPECT_EQ(is_nt5_or_later(), c.expected) << static_cast<int>(c.version);
    }
    sys().version_fails = true;
    EXPECT_EQ(is_nt5_or_later(), 0);
    // The plain 148-byte record is asked for every time.
    for (const std::string &call : calls_of("GetVersionExA")) {
        EXPECT_EQ(call.rfind("size=148 ", 0), 0u) << call;
    }
}

TEST_F(Discovery, Nt5UsesOnlyTheUsbPrintingClass) {
    for (Version version : {Version::win2000, Version::xp, Version::vista}) {
        fresh_system();
        sys().version = version;
        standin::add_printer(standin::alt_class, "\\\\.\\ALTPRN0", "MFG:A;MDL:ALT;");
        add_usb_printer();
        char name[256];
        // The request's input is eight zeros, not what the stack held.
        dirty_stack();
        ASSERT_EQ(get_printer_name(name), 1);
        EXPECT_STREQ(name, "P-100");
        EXPECT_EQ(calls_of("SetupDiGetClassDevsA"),
                  std::vector<std::string>{"usbprint, NULL, NULL, 12 -> set"});
        ASSERT_EQ(sys().ioctls.size(), 1u);
        EXPECT_EQ(sys().ioctls[0].code, 0x00220034u);
        EXPECT_EQ(sys().ioctls[0].input, standin::Bytes(8, 0));
        EXPECT_EQ(sys().ioctls[0].output_size, 4096u);
        EXPECT_CLEAN();
    }
}

TEST_F(Discovery, OlderWindowsSendsSetupThenDeviceIdToTheAlternativeDriver) {
    for (Version version : {Version::win98, Version::winme, Version::nt4}) {
        fresh_system();
        sys().version = version;
        add_usb_printer();
        standin::add_printer(standin::alt_class, "\\\\.\\ALTPRN0", "MFG:A;MDL:ALT-7;CLS:X;");
        char name[256];
        // Both requests carry "20000", its NUL and two zeros, whatever the
        // stack held.
        dirty_stack();
        ASSERT_EQ(get_printer_name(name), 1);
        EXPECT_STREQ(name, "ALT-7");
        ASSERT_EQ(sys().ioctls.size(), 2u);
        const standin::Ioctl &setup = sys().ioctls[0];
        const standin::Ioctl &request = sys().ioctls[1];
        EXPECT_EQ(setup.code, 0x00220018u);
        EXPECT_EQ(setup.input, (standin::Bytes{'2', '0', '0', '0', '0', 0, 0, 0}));
        EXPECT_EQ(setup.output_size, 8u);
        EXPECT_EQ(request.code, 0x00220010u);
        EXPECT_EQ(request.input, setup.input);
        EXPECT_EQ(request.output_size, 4096u);
        // The USB printing class was never looked at.
        EXPECT_EQ(calls_of("SetupDiGetClassDevsA"),
                  std::vector<std::string>{"alt, NULL, NULL, 12 -> set"});
        EXPECT_EQ(std::string(out_pipe_path), "\\\\.\\ALTPRN0\\PIPE00");
        EXPECT_CLEAN();
    }
}

TEST_F(Discovery, OlderWindowsFallsBackToUsbPrintingClass) {
    sys().version = Version::win98;
    add_usb_printer();
    char name[256];
    ASSERT_EQ(get_printer_name(name), 1);
    EXPECT_EQ(standin::call_names()[1], "SetupDiGetClassDevsA");
    EXPECT_EQ(calls_of("SetupDiGetClassDevsA").size(), 2u);
    EXPECT_EQ(calls_of("SetupDiGetClassDevsA")[0].rfind("alt,", 0), 0u);
    EXPECT_EQ(calls_of("SetupDiGetClassDevsA")[1].rfind("usbprint,", 0), 0u);
    ASSERT_EQ(sys().ioctls.size(), 1u);
    EXPECT_EQ(sys().ioctls[0].code, 0x00220034u);
    EXPECT_CLEAN();

    // Failing version query counts as an older Windows.
    fresh_system();
    sys().version_fails = true;
    add_usb_printer();
    ASSERT_EQ(get_printer_name(name), 1);
    EXPECT_EQ(calls_of("SetupDiGetClassDevsA").size(), 2u);
}

TEST_F(Discovery, AlternativeDeviceThatOpensDecidesTheOutcome) {
    sys().version = Version::win98;
    add_usb_printer();
    standin::Interface &alt =
        standin::add_printer(standin::alt_class, "\\\\.\\ALTPRN0", "MFG:A;MDL:ALT-7;CLS:X;");

    // A failing set-up request is ignored.
    alt.setup_request_fails = true;
    char name[256] = "untouched";
    ASSERT_EQ(get_printer_name(name), 1);
    EXPECT_STREQ(name, "ALT-7");
    EXPECT_EQ(sys().ioctls.size(), 2u);

    // A failing device-ID request ends the search: no fallback.
    sys().ioctls.clear();
    sys().calls.clear();
    alt.setup_request_fails = false;
    alt.id_request_fails = true;
    std::strcpy(name, "untouched");
    EXPECT_EQ(get_printer_name(name), 0);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(calls_of("SetupDiGetClassDevsA").size(), 1u);
    EXPECT_EQ(std::string(out_pipe_path), "\\\\.\\ALTPRN0\\PIPE00");
}

TEST_F(Discovery, NoPrinterLeavesPipePathsEmpty) {
    EXPECT_EQ(open_first_interface(&GUID_DEVINTERFACE_USBPRINT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(count_calls("SetupDiEnumDeviceInterfaces"), 1);
    EXPECT_EQ(count_calls("SetupDiDestroyDeviceInfoList"), 1);
    EXPECT_STREQ(out_pipe_path, "");
    EXPECT_STREQ(in_pipe_path, "");

    sys().class_devs_fails = true;
    EXPECT_EQ(open_first_interface(&GUID_DEVINTERFACE_USBPRINT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(count_calls("SetupDiDestroyDeviceInfoList"), 1);
}

// An interface that fails to open, or that another program holds, is
// skipped: the next one is opened, exclusively, for reading and writing.
TEST_F(Discovery, FirstInterfaceThatOpensWins) {
    for (bool held_elsewhere : {false, true}) {
        SCOPED_TRACE(held_elsewhere ? "held by another program" : "access denied");
        fresh_system();
        standin::Interface &first = add_usb_printer(path_of('a', 60));
        add_usb_printer(path_of('b', 60));
        HANDLE held = INVALID_HANDLE_VALUE;
        if (held_elsewhere) {
            held = CreateFileA(path_of('a', 60).c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                               OPEN_EXISTING, 0, NULL);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        } else {
            first.open_error = ERROR_ACCESS_DENIED;
        }
        HANDLE device = open_first_interface(&GUID_DEVINTERFACE_USBPRINT);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        EXPECT_EQ(std::string(out_pipe_path), path_of('b', 60) + "\\PIPE00");
        EXPECT_EQ(std::string(in_pipe_path), path_of('b', 60) + "\\PIPE01");
        EXPECT_EQ(calls_of("CreateFileA").back(), path_of('b', 60) +
                                                      ", C0000000, 0, NULL, 3, 0, NULL -> device" +
                                                      (held_elsewhere ? " 2" : ""));
        EXPECT_EQ(standin::open_handles().size(), held_elsewhere ? 2u : 1u);
        CloseHandle(device);
        if (held_elsewhere) {
            CloseHandle(held);
        }
    }
}

TEST_F(Discovery, AllFailingLeavesPathsOfTheLastTried) {
    add_usb_printer(path_of('a', 60)).open_error = ERROR_ACCESS_DENIED;
    add_usb_printer(path_of('b', 60)).open_error = ERROR_DEVICE_NOT_CONNECTED;
    standin::Interface &third = add_usb_printer(path_of('c', 60));
    third.fetch_fails = true;
    EXPECT_EQ(open_first_interface(&GUID_DEVINTERFACE_USBPRINT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(out_pipe_path), path_of('b', 60) + "\\PIPE00");
    EXPECT_EQ(std::string(in_pipe_path), path_of('b', 60) + "\\PIPE01");
    EXPECT_EQ(count_calls("SetupDiEnumDeviceInterfaces"), 4);
    EXPECT_CLEAN();

    Outcome run = run_prnfeed({"job.prn"});
    EXPECT_EQ(run.exit_value, -1);
    EXPECT_EQ(run.err, "\tPrinter is not ready!\n");
}

TEST_F(Discovery, EnumerationErrorsSkipOnlyThatMember) {
    add_usb_printer(path_of('a', 60)).enum_error = ERROR_GEN_FAILURE;
    add_usb_printer(path_of('b', 60)).open_error = ERROR_ACCESS_DENIED;
    add_usb_printer(path_of('c', 60)).enum_error = ERROR_INVALID_PARAMETER;
    add_usb_printer(path_of('d', 60));
    HANDLE device = open_first_interface(&GUID_DEVINTERFACE_USBPRINT);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(out_pipe_path), path_of('d', 60) + "\\PIPE00");
    std::vector<std::string> enums = calls_of("SetupDiEnumDeviceInterfaces");
    ASSERT_EQ(enums.size(), 4u);
    for (std::size_t i = 0; i < enums.size(); i++) {
        EXPECT_NE(enums[i].find(", usbprint, " + std::to_string(i) + " -> "), std::string::npos)
            << enums[i];
    }
    CloseHandle(device);
}

// Interfaces whose path cannot be fetched, or whose block has no room for
// the path's terminator (nothing is read past the block), or whose block
// cannot be allocated, are skipped before the pipe paths are written and
// without an open attempt. Every detail block is given back (EXPECT_CLEAN
// of the test's end).
TEST_F(Discovery, UnfetchablePathsLeavePipePathsAlone) {
    add_usb_printer(path_of('a', 60)).size_query_fails = true;
    add_usb_printer(path_of('b', 60)).reported_size = 4;
    add_usb_printer(path_of('c', 60)).fetch_fails = true;
    // Too long for the pipe-path buffers.
    add_usb_printer(path_of('d', 249));
    add_usb_printer(path_of('e', 60)).unterminated_path = true;
    // The fourth block, f's, is not to be had.
    add_usb_printer(path_of('f', 60));
    sys().global_alloc_fail_at = 4;
    std::strcpy(out_pipe_path, "earlier\\PIPE00");
    std::strcpy(in_pipe_path, "earlier\\PIPE01");
    EXPECT_EQ(open_first_interface(&GUID_DEVINTERFACE_USBPRINT), INVALID_HANDLE_VALUE);
    EXPECT_STREQ(out_pipe_path, "earlier\\PIPE00");
    EXPECT_STREQ(in_pipe_path, "earlier\\PIPE01");
    EXPECT_EQ(count_calls("CreateFileA"), 0);
    // Size query and fetch of one interface ask for the same, exact size.
    std::vector<std::string> details = calls_of("SetupDiGetDeviceInterfaceDetailA");
    ASSERT_EQ(details.size(), 9u); // a, b, f: query; c, d, e: query and fetch
    EXPECT_EQ(count_calls("GlobalAlloc"), 4);
    EXPECT_NE(details[4].find("NULL, 0, NULL required=254"), std::string::npos) << details[4];
    EXPECT_NE(details[5].find("detail, 254, NULL -> TRUE"), std::string::npos) << details[5];
}

// An empty path (a size of 5, the fixed part alone) is no reason to skip:
// it is fetched, the pipe paths become the bare suffixes, and its open fails.
TEST_F(Discovery, EmptyPathIsFetchedAndItsOpenFails) {
    add_usb_printer("");
    std::strcpy(out_pipe_path, "earlier\\PIPE00");
    EXPECT_EQ(open_first_interface(&GUID_DEVINTERFACE_USBPRINT), INVALID_HANDLE_VALUE);
    EXPECT_STREQ(out_pipe_path, "\\PIPE00");
    EXPECT_STREQ(in_pipe_path, "\\PIPE01");
    std::vector<std::string> details = calls_of("SetupDiGetDeviceInterfaceDetailA");
    ASSERT_EQ(details.size(), 2u);
    EXPECT_NE(details[0].find("NULL, 0, NULL required=5"), std::string::npos) << details[0];
    EXPECT_NE(details[1].find("detail, 5, NULL -> TRUE"), std::string::npos) << details[1];
    EXPECT_EQ(calls_of("CreateFileA"),
              std::vector<std::string>{
                  ", C0000000, 0, NULL, 3, 0, NULL -> INVALID_HANDLE_VALUE error=3"});
    EXPECT_CLEAN();
}

// A set whose every member fails to enumerate (a broken driver stack) ends
// like an exhausted one after a bounded number of tries.
TEST_F(Discovery, SetWhoseEveryMemberFailsEndsTheSearch) {
    add_usb_printer();
    sys().enum_error_every = ERROR_INVALID_USER_BUFFER;
    EXPECT_EQ(open_first_interface(&GUID_DEVINTERFACE_USBPRINT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(count_calls("SetupDiEnumDeviceInterfaces"), 4096);
    EXPECT_EQ(count_calls("SetupDiDestroyDeviceInfoList"), 1);
    EXPECT_EQ(count_calls("CreateFileA"), 0);
    EXPECT_CLEAN();
    Outcome run = run_prnfeed({"job.prn"});
    EXPECT_EQ(run.exit_value, -1);
    EXPECT_EQ(run.err, "\tPrinter is not ready!\n");
}

TEST_F(Discovery, PathOf248CharactersFillsThePipePathBuffers) {
    std::string path = path_of('x', 248);
    standin::Interface &printer = add_usb_printer(path);
    std::memset(out_pipe_path, 'z', sizeof(out_pipe_path));
    std::memset(in_pipe_path, 'z', sizeof(in_pipe_path));
    HANDLE device = open_first_interface(&GUID_DEVINTERFACE_USBPRINT);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    CloseHandle(device);
    EXPECT_EQ(std::string(out_pipe_path, 256), path + "\\PIPE00" + std::string(1, '\0'));
    EXPECT_EQ(std::string(in_pipe_path, 256), path + "\\PIPE01" + std::string(1, '\0'));

    // And the print job goes through that pipe.
    std::string file = make_file("job.prn", pattern(300));
    Outcome run = run_prnfeed({file});
    EXPECT_EQ(run.exit_value, 0);
    EXPECT_EQ(printer.printer.received, pattern(300));
}

} // namespace
