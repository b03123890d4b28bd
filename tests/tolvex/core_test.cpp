// SPDX-License-Identifier: GPL-2.0-only
// Module life cycle, file operations, command dispatch and the user header.
#include "tolvex_fixture.h"

#include <cstddef>
#include <cstring>
#include <iterator>

using namespace kstandin;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// Licence texts the kernel counts as GPL-compatible; any other taints the
// kernel when the module loads and denies it the GPL-only services.
bool gpl_compatible(const char *licence) {
    for (const char *ok : {"GPL", "GPL v2", "GPL and additional rights", "Dual BSD/GPL",
                           "Dual MIT/GPL", "Dual MPL/GPL"})
        if (std::strcmp(licence, ok) == 0)
            return true;
    return false;
}

class TolvexLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
    }
    void TearDown() override {
        EXPECT_THAT(faults(), IsEmpty());
    }
};

TEST_F(TolvexLoad, LoadPrintsItsLineThenRegistersMajor252) {
    ASSERT_EQ(load_module(), 0);
    EXPECT_THAT(render(trace()),
                ElementsAre("printk \"[device_init : 339] device_init() start !!!\\n\"",
                            "register_chrdev 252 tolvex -> 0"));
    EXPECT_EQ(major_name(252), "tolvex");
    EXPECT_TRUE(gpl_compatible(kstandin_module_license)) << kstandin_module_license;
}

TEST_F(TolvexLoad, UnloadPrintsItsLineThenUnregistersAndLoadsAgain) {
    ASSERT_EQ(load_module(), 0);
    clear_trace();
    unload_module();
    EXPECT_THAT(render(trace()), ElementsAre("printk \"[device_exit : 352] device_exit() !!!\\n\"",
                                             "unregister_chrdev 252 tolvex"));
    EXPECT_FALSE(major_held(252));
    EXPECT_THAT(log_lines(), ElementsAre("[device_init : 339] device_init() start !!!",
                                         "[device_exit : 352] device_exit() !!!"));
    // And it loads again.
    EXPECT_EQ(load_module(), 0);
    EXPECT_EQ(major_name(252), "tolvex");
}

TEST_F(TolvexLoad, MajorHeldByAnotherDriverFailsTheLoadAndLeavesThatDriver) {
    hold_major(252, "dax");
    const file_operations *theirs = major_fops(252);
    EXPECT_EQ(load_module(), -EBUSY);
    EXPECT_THAT(render(trace()),
                ElementsAre("printk \"[device_init : 339] device_init() start !!!\\n\"",
                            "register_chrdev 252 tolvex -> -16"));
    EXPECT_EQ(major_name(252), "dax");
    EXPECT_EQ(major_fops(252), theirs);
    for (unsigned m = 0; m < 512; ++m)
        EXPECT_NE(major_name(m), "tolvex") << "major " << m;
}

// The file calls as the kernel makes them on the device's table: an empty
// read or write slot answers -EINVAL, an empty open or release succeeds.
struct FileCalls {
    const file_operations *f;
    inode ino{};
    file fl{};
    int open() {
        return f->open ? f->open(&ino, &fl) : 0;
    }
    int release() {
        return f->release ? f->release(&ino, &fl) : 0;
    }
    ssize_t read(char *buf, std::size_t n, loff_t *pos) {
        return f->read ? f->read(&fl, buf, n, pos) : -EINVAL;
    }
    ssize_t write(const char *buf, std::size_t n, loff_t *pos) {
        return f->write ? f->write(&fl, buf, n, pos) : -EINVAL;
    }
};

// A write of data is refused (0 would make a caller's write loop retry for
// ever); a write of nothing succeeds.
TEST_F(Tolvex, OpenReadReleaseDoNothingWriteRefusesData) {
    FileCalls calls{major_fops(252)};
    char buf[16];
    std::memset(buf, 0x5A, sizeof buf);
    loff_t pos = 7;
    EXPECT_EQ(calls.open(), 0);
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, sizeof buf, std::size_t{1} << 20,
                          static_cast<std::size_t>(-1)}) {
        EXPECT_EQ(calls.read(buf, n, &pos), 0) << n;
        EXPECT_EQ(calls.write(buf, n, &pos), n ? -EINVAL : 0) << n;
    }
    EXPECT_EQ(calls.release(), 0);
    EXPECT_EQ(pos, 7);
    for (char c : buf)
        EXPECT_EQ(c, 0x5A);
    EXPECT_THAT(trace(), IsEmpty());
}

TEST_F(Tolvex, UnknownCodesPrintTheEntryLineAndGetENOTTY) {
    const struct {
        unsigned cmd;
        const char *line;
    } cases[] = {{0, "tolvex_ioctl(0)\n"},
                 {7, "tolvex_ioctl(7)\n"},
                 {0x100, "tolvex_ioctl(256)\n"},
                 {0x80000000u, "tolvex_ioctl(-2147483648)\n"},
                 {0xFFFFFFFFu, "tolvex_ioctl(-1)\n"}};
    for (const auto &c : cases) {
        clear_trace();
        EXPECT_EQ(ioctl(c.cmd, 0xDEADBEEFul), -25) << c.cmd;
        ASSERT_EQ(trace().size(), 1u) << c.cmd << ": nothing but the entry line";
        EXPECT_EQ(trace()[0].text, c.line);
    }
}

// The kernel's generic ioctl layer answers some codes for a device node
// itself, and the handler never sees them. On current kernels code 2 is one
// of them (the block size of the node's file system, put to the int at arg),
// so the port read is reachable on the board's kernel only.
TEST_F(Tolvex, CodesTheKernelAnswersItselfNeverReachTheHandler) {
    enum Access { None, ReadOnly, ReadWrite };
    const struct {
        unsigned cmd;
        int in; // the int at arg, followed by a second word
        Access access;
        long board, current; // results
        bool board_handler, current_handler;
        int out_current; // the int at arg afterwards on current kernels
    } cases[] = {
        {kFIOCLEX, 0, ReadWrite, 0, 0, false, false, 0},
        {kFIONCLEX, 0, None, 0, 0, false, false, 0},
        {kFIONBIO, 1, ReadOnly, 0, 0, false, false, 1},
        {kFIONBIO, 1, None, -EFAULT, -EFAULT, false, false, 1},
        {kFIOASYNC, 0, ReadOnly, 0, 0, false, false, 0},
        {kFIOASYNC, 1, ReadOnly, -ENOTTY, -ENOTTY, false, false, 1},
        {kFIOASYNC, 0, None, -EFAULT, -EFAULT, false, false, 0},
        {kFIOQSIZE, 5, ReadWrite, -ENOTTY, -ENOTTY, false, false, 5},
        // Offset 0x10000 lies outside the port block: the module refuses it.
        {kFIGETBSZ, 0x10000, ReadWrite, -EINVAL, 0, true, false, kNodeBlockSize},
        {kFIGETBSZ, 0x10000, ReadOnly, -EINVAL, -EFAULT, true, false, 0x10000},
        {kFIFREEZE, 0, ReadWrite, -ENOTTY, -EOPNOTSUPP, true, false, 0},
        {kFITHAW, 0, ReadWrite, -ENOTTY, -EINVAL, true, false, 0},
        {kFS_IOC_FIEMAP, 0, ReadWrite, -ENOTTY, -EOPNOTSUPP, true, false, 0},
        {kFICLONE, 3, ReadWrite, -ENOTTY, -EINVAL, true, false, 3},
        {kFICLONERANGE, 0, ReadWrite, -ENOTTY, -EINVAL, true, false, 0},
        {kFIDEDUPERANGE, 0, ReadWrite, -ENOTTY, -EINVAL, true, false, 0},
    };
    // Declared memory stays declared: each row gets a record of its own.
    std::int32_t recs[std::size(cases)][2];
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        std::int32_t *rec = recs[i];
        rec[0] = c.in;
        rec[1] = 0x5A5A5A5A;
        if (c.access != None)
            add_user_memory(rec, 2 * sizeof *rec, true, c.access == ReadWrite);
        clear_trace();
        SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << c.cmd);
        EXPECT_EQ(ioctl(c.cmd, rec), kBoardKernel ? c.board : c.current);
        bool entered = !trace().empty() && trace()[0].text.rfind("tolvex_ioctl(", 0) == 0;
        EXPECT_EQ(entered, kBoardKernel ? c.board_handler : c.current_handler);
        EXPECT_EQ(count(trace(), Ev::Read) + count(trace(), Ev::Write), 0);
        EXPECT_EQ(rec[0], kBoardKernel ? c.in : c.out_current);
        EXPECT_EQ(rec[1], 0x5A5A5A5A);
    }
}

TEST_F(Tolvex, Command4ReturnsZeroTouchingNeitherArgumentNorRegisters) {
    std::uint32_t rec[2] = {0x11111111, 0x22222222};
    add_user_memory(rec, sizeof rec);
    EXPECT_EQ(ioctl(TOLVEX_PBA_END_GPOTEST, rec), 0);
    EXPECT_EQ(ioctl(TOLVEX_PBA_END_GPOTEST, 0xDEADBEEFul), 0);
    EXPECT_EQ(rec[0], 0x11111111u);
    EXPECT_EQ(rec[1], 0x22222222u);
    EXPECT_EQ(trace().front().text, "tolvex_ioctl(4)\n");
    EXPECT_THAT(render(trace()),
                ElementsAre("printk \"tolvex_ioctl(4)\\n\"", "printk \"tolvex_ioctl(4)\\n\""));
}

// The board's kernel enters a driver's unlocked_ioctl slot, when filled,
// without its global lock, and the ioctl slot only otherwise, holding the
// lock. True when that entry holds the lock; the result in result.
bool board_kernel_ioctl(unsigned cmd, unsigned long arg, long &result) {
    const file_operations *f = major_fops(252);
    inode ino{};
    file fl{};
    if (f->unlocked_ioctl) {
        result = f->unlocked_ioctl(&fl, cmd, arg);
        return false;
    }
    result = f->ioctl ? f->ioctl(&ino, &fl, cmd, arg) : -ENOTTY;
    return true;
}

// On the board the kernel lock serialises the handler; current kernels
// enter unlocked_ioctl without it, so the module's mutex must cover the work.
TEST_F(Tolvex, RecognisedCommandsAreSerialised) {
    GPORT_DATA g{0x58, 0};
    add_user_memory(&g, sizeof g);
    if (kBoardKernel) {
        long result = 1;
        EXPECT_TRUE(board_kernel_ioctl(TOLVEX_CMD_GPORT_WRITE, user_addr(&g), result))
            << "the board's kernel enters the handler without its lock";
        EXPECT_EQ(result, 0);
        EXPECT_EQ(count(trace(), Ev::Lock), 0);
        EXPECT_EQ(count(trace(), Ev::Unlock), 0);
    } else {
        EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &g), 0);
        auto lines = render(trace(), true);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "printk \"tolvex_ioctl(3)\\n\"");
        EXPECT_EQ(lines[1], "lock");
        EXPECT_EQ(lines.back(), "unlock");
        EXPECT_EQ(count(trace(), Ev::Lock), 1);
        EXPECT_EQ(count(trace(), Ev::Unlock), 1);
    }
    // Failing commands release the lock too.
    clear_trace();
    g.uloffset = 0x2;
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &g), -EINVAL);
    EXPECT_EQ(count(trace(), Ev::Lock), count(trace(), Ev::Unlock));
    // A second command would report a lock fault if the first kept it.
    EXPECT_EQ(ioctl(TOLVEX_PBA_END_GPOTEST, 0ul), 0);
}

} // namespace
