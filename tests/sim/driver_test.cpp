// SPDX-License-Identifier: GPL-2.0-only
// The simulated printer's driver on the host, against a small stand-in of
// the Windows kernel calls it makes (nt-standin/ntddk.h): the objects it
// creates, its answers, its configuration and the files it leaves for the
// wine tests. What wine itself does with them is left to those tests.
#include <gtest/gtest.h>

#include <ntddk.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

namespace {

std::string sim_dir; // the host directory that stands for C:\sim-printer
std::map<std::string, PDEVICE_OBJECT> devices;
std::map<std::string, std::string> links;
std::vector<std::string> directories;
std::map<std::FILE *, std::string> open_files; // host file of each handle the driver holds

std::string narrow(const UNICODE_STRING *text) {
    std::string s;
    for (std::size_t i = 0; i < text->Length / sizeof(WCHAR); i++) {
        s += static_cast<char>(text->Buffer[i]);
    }
    return s;
}

} // namespace

extern "C" {

void RtlInitUnicodeString(PUNICODE_STRING string, const WCHAR *text) {
    string->Buffer = text;
    string->Length = static_cast<uint16_t>(wcslen(text) * sizeof(WCHAR));
    string->MaximumLength = string->Length;
}

NTSTATUS IoCreateDevice(PDRIVER_OBJECT, ULONG extension_size, PUNICODE_STRING name, ULONG, ULONG,
                        BOOLEAN, PDEVICE_OBJECT *device) {
    static std::deque<std::vector<unsigned char>> extensions;
    static std::deque<DEVICE_OBJECT> objects;
    extensions.emplace_back(extension_size);
    objects.push_back(DEVICE_OBJECT{extensions.back().data(), DO_DEVICE_INITIALIZING});
    *device = &objects.back();
    devices[narrow(name)] = *device;
    return STATUS_SUCCESS;
}

void IoDeleteDevice(PDEVICE_OBJECT device) {
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        if (it->second == device) {
            devices.erase(it);
            return;
        }
    }
    ADD_FAILURE() << "unknown device deleted";
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target) {
    links[narrow(link)] = narrow(target);
    return STATUS_SUCCESS;
}

NTSTATUS ZwCreateDirectoryObject(HANDLE *directory, ACCESS_MASK, OBJECT_ATTRIBUTES *attributes) {
    EXPECT_NE(attributes->Attributes & OBJ_PERMANENT, 0u);
    directories.push_back(narrow(attributes->ObjectName));
    *directory = &directories;
    return STATUS_SUCCESS;
}

NTSTATUS ZwCreateFile(HANDLE *file, ACCESS_MASK, OBJECT_ATTRIBUTES *attributes, IO_STATUS_BLOCK *io,
                      void *, ULONG, ULONG, ULONG disposition, ULONG, PVOID, ULONG) {
    const std::string prefix = "\\??\\C:\\sim-printer\\";
    std::string name = narrow(attributes->ObjectName);
    if (name.rfind(prefix, 0) != 0) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    std::string path = sim_dir + "/" + name.substr(prefix.size());
    std::FILE *f = std::fopen(path.c_str(), disposition == FILE_OPEN ? "rb" : "wb");
    if (f == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    *file = f;
    open_files[f] = name.substr(prefix.size());
    io->Status = STATUS_SUCCESS;
    return STATUS_SUCCESS;
}

NTSTATUS ZwReadFile(HANDLE file, HANDLE, void *, PVOID, IO_STATUS_BLOCK *io, PVOID buffer,
                    ULONG length, void *, ULONG *) {
    io->Information = std::fread(buffer, 1, length, static_cast<std::FILE *>(file));
    return io->Information > 0 ? STATUS_SUCCESS : STATUS_END_OF_FILE;
}

NTSTATUS ZwWriteFile(HANDLE file, HANDLE, void *, PVOID, IO_STATUS_BLOCK *io, PVOID buffer,
                     ULONG length, void *, ULONG *) {
    io->Information = std::fwrite(buffer, 1, length, static_cast<std::FILE *>(file));
    std::fflush(static_cast<std::FILE *>(file));
    return STATUS_SUCCESS;
}

NTSTATUS ZwClose(HANDLE handle) {
    if (handle != &directories) {
        EXPECT_EQ(open_files.erase(static_cast<std::FILE *>(handle)), 1u) << "unknown handle";
        std::fclose(static_cast<std::FILE *>(handle));
    }
    return STATUS_SUCCESS;
}

void IoCompleteRequest(PIRP irp, int) {
    irp->completed++;
}

} // extern "C"

namespace {

const char DEVICE[] = "\\Device\\SimPrinter0";
const char OUT_PIPE[] = "\\Device\\SimPrinter0Pipes\\PIPE00";
const char IN_PIPE[] = "\\Device\\SimPrinter0Pipes\\PIPE01";
const std::string ID = "MFG:Maker;MDL:P-100;CLS:PRINTER;";
const std::string READ_COMMAND = "\x1b%-43.21SR";
const std::string WRITE_COMMAND = "\x1b%-43.21SW";

DRIVER_OBJECT driver;

struct Reply {
    NTSTATUS status;
    ULONG_PTR information;
    std::string bytes; // the first `information` bytes of the buffer
};

// One request to one of the driver's devices, completed before it returns.
Reply request(const char *device, int major, const std::string &data = "", ULONG size = 0,
              ULONG code = 0) {
    IO_STACK_LOCATION stack{};
    stack.MajorFunction = static_cast<unsigned char>(major);
    std::vector<unsigned char> buffer(std::max<std::size_t>(data.size(), size) + 1, 0xEE);
    std::memcpy(buffer.data(), data.data(), data.size());
    if (major == IRP_MJ_WRITE) {
        stack.Parameters.Write.Length = static_cast<ULONG>(data.size());
    } else if (major == IRP_MJ_READ) {
        stack.Parameters.Read.Length = size;
    } else if (major == IRP_MJ_DEVICE_CONTROL) {
        stack.Parameters.DeviceIoControl.IoControlCode = code;
        stack.Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(data.size());
        stack.Parameters.DeviceIoControl.OutputBufferLength = size;
    }
    IRP irp{};
    irp.stack = &stack;
    irp.AssociatedIrp.SystemBuffer = buffer.data();
    NTSTATUS status = driver.MajorFunction[major](devices.at(device), &irp);
    EXPECT_EQ(irp.completed, 1);
    EXPECT_EQ(irp.IoStatus.Status, status);
    std::size_t shown = std::min<std::size_t>(irp.IoStatus.Information, buffer.size());
    return {status, irp.IoStatus.Information,
            std::string(buffer.begin(), buffer.begin() + static_cast<long>(shown))};
}

NTSTATUS open(const char *device) {
    return request(device, IRP_MJ_CREATE).status;
}

void close(const char *device) {
    EXPECT_EQ(request(device, IRP_MJ_CLOSE).status, STATUS_SUCCESS);
}

class Driver : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        UNICODE_STRING key;
        RtlInitUnicodeString(&key, L"\\Registry\\Machine\\System\\Services\\SimPrinter");
        ASSERT_EQ(DriverEntry(&driver, &key), STATUS_SUCCESS);
    }

    void SetUp() override {
        char templ[] = "/tmp/sim-printer-test-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        sim_dir = templ;
    }

    void TearDown() override {
        // The next test's first open drops the files of this one.
        std::string command = "rm -rf '" + sim_dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    void put(const std::string &name, const std::string &text) {
        std::ofstream(sim_dir + "/" + name, std::ios::binary) << text;
    }

    std::string file(const std::string &name) {
        std::ifstream in(sim_dir + "/" + name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool exists(const std::string &name) {
        struct stat st;
        return stat((sim_dir + "/" + name).c_str(), &st) == 0;
    }
};

TEST_F(Driver, PipesSitInADirectoryThatThePathWithTheTrailingSpaceReaches) {
    for (const char *name : {DEVICE, OUT_PIPE, IN_PIPE}) {
        ASSERT_EQ(devices.count(name), 1u) << name;
        EXPECT_EQ(devices[name]->Flags, ULONG{DO_BUFFERED_IO}) << name;
    }
    EXPECT_EQ(links["\\??\\SimPrinter0"], DEVICE);
    EXPECT_EQ(links["\\??\\SimPrinter0 "], "\\Device\\SimPrinter0Pipes");
    EXPECT_EQ(directories, std::vector<std::string>{"\\Device\\SimPrinter0Pipes"});
}

TEST_F(Driver, WithoutConfigurationNoPrinterAnswers) {
    EXPECT_EQ(open(DEVICE), STATUS_NO_SUCH_DEVICE);
    // Under wine the handle may exist all the same: every request fails.
    EXPECT_EQ(request(DEVICE, IRP_MJ_DEVICE_CONTROL, "", 4096, 0x220034).status,
              STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(request(OUT_PIPE, IRP_MJ_WRITE, "data").status, STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(request(IN_PIPE, IRP_MJ_READ, "", 26).status, STATUS_DEVICE_NOT_CONNECTED);
    put("printer.txt", "device_id=" + ID + "\nattached=0\n");
    EXPECT_EQ(open(DEVICE), STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(file("events.txt"), "refused open device\n");
}

TEST_F(Driver, ADescriptionItCannotUseAttachesNoPrinter) {
    const struct {
        std::string config; // after the device ID line
        std::string why;
    } cases[] = {
        {"colour=1\n", "printer.txt:2: unknown setting colour"},
        {"# comment\r\nstop_after=lots\r\n", "printer.txt:3: bad value for stop_after: lots"},
        {"output=printer.bin\n", "printer.txt:2: bad value for output: printer.bin"},
        // A pipe can only be absent for the whole run.
        {"in_open_fail_from=2\n", "printer.txt:2: bad value for in_open_fail_from: 2"},
        {"events=0\nserial=AB12", "printer.txt:3: bad value for serial: AB12"},
        {"P-100\n", "printer.txt:2: no '='"},
        {std::string("events=0\0x\n", 11), "printer.txt:2: a NUL byte"},
        {"#" + std::string(8192, 'x') + "\n", "printer.txt: 8192 bytes or more"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.config.substr(0, 40));
        put("printer.txt", "device_id=" + ID + "\n" + c.config);
        EXPECT_EQ(open(DEVICE), STATUS_NO_SUCH_DEVICE);
        EXPECT_EQ(request(DEVICE, IRP_MJ_DEVICE_CONTROL, "", 4096, 0x220034).status,
                  STATUS_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(file("events.txt"),
                  "refused " + c.why + "\nrefused open device\nioctl 0x220034 refused\n");
    }
}

TEST_F(Driver, ARunAsTheToolMakesIt) {
    // Windows line ends, a comment and an empty line are taken in stride.
    put("printer.txt", "# printer\r\n\r\ndevice_id=" + ID + "\r\n");
    ASSERT_EQ(open(DEVICE), STATUS_SUCCESS);
    Reply id = request(DEVICE, IRP_MJ_DEVICE_CONTROL, "12345678", 4096, 0x220034);
    EXPECT_EQ(id.status, STATUS_SUCCESS);
    EXPECT_EQ(id.bytes, std::string("\0\x22", 2) + ID);
    EXPECT_EQ(request(DEVICE, IRP_MJ_DEVICE_CONTROL, "", 4096, 0x220099).status,
              STATUS_INVALID_DEVICE_REQUEST);
    close(DEVICE);

    // The serial-number exchange on a blank printer, then the print data.
    ASSERT_EQ(open(OUT_PIPE), STATUS_SUCCESS);
    ASSERT_EQ(open(IN_PIPE), STATUS_SUCCESS);
    EXPECT_EQ(request(OUT_PIPE, IRP_MJ_WRITE, READ_COMMAND).information, 10u);
    EXPECT_EQ(request(IN_PIPE, IRP_MJ_READ, "", 26).bytes, READ_COMMAND + std::string(16, '0'));
    EXPECT_FALSE(exists("printer.txt.state"));
    EXPECT_EQ(request(OUT_PIPE, IRP_MJ_WRITE, WRITE_COMMAND + "AB12-03090845296").status,
              STATUS_SUCCESS);
    EXPECT_EQ(file("printer.txt.state"), "serial=AB12-03090845296\n");
    EXPECT_EQ(request(IN_PIPE, IRP_MJ_READ, "", 27).bytes,
              WRITE_COMMAND + std::string(1, '\0') + "AB12-03090845296");
    // Nothing more to answer: the read times out; an answer longer than the
    // read overflows it and is lost.
    EXPECT_EQ(request(IN_PIPE, IRP_MJ_READ, "", 26).status, STATUS_IO_TIMEOUT);
    request(OUT_PIPE, IRP_MJ_WRITE, READ_COMMAND);
    EXPECT_EQ(request(IN_PIPE, IRP_MJ_READ, "", 25).status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(request(IN_PIPE, IRP_MJ_READ, "", 26).status, STATUS_IO_TIMEOUT);
    close(OUT_PIPE);
    close(IN_PIPE);

    ASSERT_EQ(open(OUT_PIPE), STATUS_SUCCESS);
    std::string data(4096, 'x');
    data += READ_COMMAND.substr(0, 9); // print data that only starts like a command
    EXPECT_EQ(request(OUT_PIPE, IRP_MJ_WRITE, data.substr(0, 4096)).information, 4096u);
    EXPECT_EQ(request(OUT_PIPE, IRP_MJ_WRITE, data.substr(4096)).information, 9u);
    close(OUT_PIPE);

    EXPECT_EQ(file("received.bin"), data);
    EXPECT_EQ(file("taken.txt"), "4105\n");
    EXPECT_EQ(file("events.txt"), "open device\n"
                                  "ioctl 0x220034 -> 34\n"
                                  "ioctl 0x220099 refused\n"
                                  "close device\n"
                                  "open out\n"
                                  "open in\n"
                                  "write out 10 command\n"
                                  "read in 26 -> 26\n"
                                  "write out 26 command\n"
                                  "read in 27 -> 27\n"
                                  "read in 26 nothing\n"
                                  "write out 10 command\n"
                                  "read in 25 overflow\n"
                                  "read in 26 nothing\n"
                                  "close out\n"
                                  "close in\n"
                                  "open out\n"
                                  "write out 4096\n"
                                  "write out 9\n"
                                  "close out\n");

    // The next run: a fresh printer that kept its serial number, fresh files.
    ASSERT_EQ(open(DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(file("received.bin"), "");
    ASSERT_EQ(open(OUT_PIPE), STATUS_SUCCESS);
    request(OUT_PIPE, IRP_MJ_WRITE, READ_COMMAND);
    EXPECT_EQ(request(IN_PIPE, IRP_MJ_READ, "", 26).bytes, READ_COMMAND + "AB12-03090845296");
}

// A pipe that does not open is absent for the run (its open never reaches
// the driver), and back in the next run that does not ask for that.
TEST_F(Driver, PipeThatDoesNotOpenIsAbsentForTheRun) {
    const struct {
        std::string config;
        bool out, in; // present
    } runs[] = {{"out_open_fail_from=1\n", false, true},
                {"in_open_fail_from=1\n", true, false},
                {"out_open_fail_from=0\n", true, true}};
    for (const auto &run : runs) {
        SCOPED_TRACE(run.config);
        put("printer.txt", "device_id=" + ID + "\n" + run.config);
        ASSERT_EQ(open(DEVICE), STATUS_SUCCESS);
        close(DEVICE);
        EXPECT_EQ(devices.count(OUT_PIPE), run.out ? 1u : 0u);
        EXPECT_EQ(devices.count(IN_PIPE), run.in ? 1u : 0u);
        for (const char *pipe : {OUT_PIPE, IN_PIPE}) {
            if (devices.count(pipe) != 0) {
                EXPECT_EQ(devices[pipe]->Flags, ULONG{DO_BUFFERED_IO});
                EXPECT_EQ(open(pipe), STATUS_SUCCESS);
                close(pipe);
            }
        }
    }
}

TEST_F(Driver, SettingsOfThePrinterAndOfTheDriver) {
    struct Case {
        const char *what;
        std::string config;
        std::vector<std::size_t> writes; // print data offered, in order
        std::vector<ULONG_PTR> taken;
        NTSTATUS last_status;
        bool data_kept;
        bool events_kept;
    } cases[] = {
        {"stops after 5000 bytes",
         "stop_after=5000\n",
         {4096, 4096},
         {4096, 904},
         STATUS_IO_TIMEOUT,
         true,
         true},
        {"discards and logs nothing",
         "output=discard\nevents=0\n",
         {4096, 1},
         {4096, 1},
         STATUS_SUCCESS,
         false,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        put("printer.txt", "device_id=" + ID + "\n" + c.config);
        ASSERT_EQ(open(DEVICE), STATUS_SUCCESS);
        close(DEVICE);
        ASSERT_EQ(open(OUT_PIPE), STATUS_SUCCESS);
        std::string sent;
        Reply last{};
        for (std::size_t i = 0; i < c.writes.size(); i++) {
            std::string data(c.writes[i], static_cast<char>('a' + i));
            last = request(OUT_PIPE, IRP_MJ_WRITE, data);
            EXPECT_EQ(last.information, c.taken[i]);
            sent += data.substr(0, c.taken[i]);
        }
        EXPECT_EQ(last.status, c.last_status);
        close(OUT_PIPE);
        EXPECT_EQ(file("taken.txt"), std::to_string(sent.size()) + "\n");
        EXPECT_EQ(exists("received.bin"), c.data_kept);
        if (c.data_kept) {
            EXPECT_EQ(file("received.bin"), sent);
        }
        EXPECT_EQ(exists("events.txt"), c.events_kept);
        std::string command = "rm -f '" + sim_dir + "'/*";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    // The printer model's own settings reach it: device ID, its byte count,
    // and the alternative driver's requests.
    put("printer.txt", "device_id=" + ID + "\nid_count=10\n");
    ASSERT_EQ(open(DEVICE), STATUS_SUCCESS);
    Reply setup =
        request(DEVICE, IRP_MJ_DEVICE_CONTROL, std::string("20000\0\0\0", 8), 8, 0x220018);
    EXPECT_EQ(setup.status, STATUS_SUCCESS);
    EXPECT_EQ(setup.information, 8u);
    Reply id = request(DEVICE, IRP_MJ_DEVICE_CONTROL, "", 4096, 0x220010);
    EXPECT_EQ(id.bytes, std::string("\0\x22", 2) + ID.substr(0, 8));
}

// The driver stays loaded as long as the device host runs and keeps only
// its two output files open between requests; the host's exit closes them.
class DriverHostExit : public ::testing::Environment {
    void TearDown() override {
        for (const auto &[file, name] : open_files) {
            EXPECT_TRUE(name == "received.bin" || name == "events.txt") << name << " left open";
            std::fclose(file);
        }
        open_files.clear();
    }
};
const auto *const driver_host = ::testing::AddGlobalTestEnvironment(new DriverHostExit);

} // namespace
