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
    EXPECT_NE(kstandin_module_license[0], '\0');
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

TEST_F(Tolvex, FileOperationsFillExactlyTheHandlerSlots) {
    const file_operations *f = major_fops(252);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->owner, THIS_MODULE);
    EXPECT_NE(f->read, nullptr);
    EXPECT_NE(f->write, nullptr);
    EXPECT_NE(f->open, nullptr);
    EXPECT_NE(f->release, nullptr);
    if (kBoardKernel) {
        EXPECT_NE(f->ioctl, nullptr);
        EXPECT_EQ(f->unlocked_ioctl, nullptr);
    } else {
        EXPECT_EQ(f->ioctl, nullptr);
        EXPECT_NE(f->unlocked_ioctl, nullptr);
    }
    EXPECT_EQ(f->llseek, nullptr);
    EXPECT_EQ(f->poll, nullptr);
    EXPECT_EQ(f->compat_ioctl, nullptr);
    EXPECT_EQ(f->mmap, nullptr);
    EXPECT_EQ(f->flush, nullptr);
    EXPECT_EQ(f->fsync, nullptr);
}

TEST_F(Tolvex, OpenReadWriteReleaseDoNothing) {
    const file_operations *f = major_fops(252);
    inode ino{};
    file fl{};
    char buf[16];
    std::memset(buf, 0x5A, sizeof buf);
    loff_t pos = 7;
    EXPECT_EQ(f->open(&ino, &fl), 0);
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, sizeof buf, std::size_t{1} << 20,
                          static_cast<std::size_t>(-1)}) {
        EXPECT_EQ(f->read(&fl, buf, n, &pos), 0) << n;
        EXPECT_EQ(f->write(&fl, buf, n, &pos), 0) << n;
    }
    EXPECT_EQ(f->release(&ino, &fl), 0);
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

// On the board the kernel lock serialises the handler; current kernels
// enter unlocked_ioctl without it, so the module's mutex must cover the work.
TEST_F(Tolvex, RecognisedCommandsRunUnderTheModuleLockOnCurrentKernels) {
    GPORT_DATA g{0x58, 0};
    add_user_memory(&g, sizeof g);
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &g), 0);
    auto lines = render(trace(), true);
    if (kBoardKernel) {
        EXPECT_EQ(count(trace(), Ev::Lock), 0);
        EXPECT_EQ(count(trace(), Ev::Unlock), 0);
    } else {
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
