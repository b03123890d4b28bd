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
    } cases[] = {{0, "printk \"tolvex_ioctl(0)\\n\""},
                 {7, "printk \"tolvex_ioctl(7)\\n\""},
                 {0x100, "printk \"tolvex_ioctl(256)\\n\""},
                 {0x80000000u, "printk \"tolvex_ioctl(-2147483648)\\n\""},
                 {0xFFFFFFFFu, "printk \"tolvex_ioctl(-1)\\n\""}};
    for (const auto &c : cases) {
        clear_trace();
        EXPECT_EQ(ioctl(c.cmd, 0xDEADBEEFul), -25) << c.cmd;
        // Nothing but the entry line.
        EXPECT_THAT(render(trace()), ElementsAre(c.line)) << c.cmd;
    }
}

// The kernel's generic ioctl layer answers some codes for a device node
// itself, and the handler never sees them; the block-size query (code 2, the
// port read) it answers for regular files only, so on a device it reaches
// the handler.
TEST_F(Tolvex, CodesTheKernelAnswersItselfNeverReachTheHandler) {
    enum Access { None, ReadOnly, ReadWrite };
    const struct {
        unsigned cmd;
        int in; // the int at arg, followed by a second word
        Access access;
        long result;
        bool handler;
    } cases[] = {
        {kFIOCLEX, 0, ReadWrite, 0, false},
        {kFIONCLEX, 0, None, 0, false},
        {kFIONBIO, 1, ReadOnly, 0, false},
        {kFIONBIO, 1, None, -EFAULT, false},
        {kFIOASYNC, 0, ReadOnly, 0, false},
        {kFIOASYNC, 1, ReadOnly, -ENOTTY, false},
        {kFIOASYNC, 0, None, -EFAULT, false},
        {kFIOQSIZE, 5, ReadWrite, -ENOTTY, false},
        // Offset 0x10000 lies outside the port block: the module refuses it.
        {TOLVEX_CMD_GPORT_READ, 0x10000, ReadWrite, -EINVAL, true},
        {TOLVEX_CMD_GPORT_READ, 0x10000, ReadOnly, -EINVAL, true},
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
        EXPECT_EQ(ioctl(c.cmd, rec), c.result);
        EXPECT_EQ(count(trace(), Ev::Printk), c.handler ? 1 : 0);
        EXPECT_EQ(count(trace(), Ev::Read) + count(trace(), Ev::Write), 0);
        EXPECT_EQ(rec[0], c.in);
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
    EXPECT_THAT(render(trace()),
                ElementsAre("printk \"tolvex_ioctl(4)\\n\"", "printk \"tolvex_ioctl(4)\\n\""));
}

// The handler sits in the ioctl slot, so the board's kernel holds its global
// lock around every command, failing ones too, and no two commands overlap.
// In unlocked_ioctl it would run without that lock.
TEST_F(Tolvex, CommandsRunUnderTheKernelLock) {
    const file_operations *f = major_fops(252);
    EXPECT_NE(f->ioctl, nullptr);
    EXPECT_EQ(f->unlocked_ioctl, nullptr);
    EXPECT_EQ(f->compat_ioctl, nullptr);
    GPORT_DATA g{0x58, 0};
    add_user_memory(&g, sizeof g);
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &g), 0);
    EXPECT_THAT(render(trace(), true),
                ElementsAre("lock", "printk \"tolvex_ioctl(3)\\n\"", "from_user 8",
                            "W F6400058 <- 00000000", "unlock"));
    clear_trace();
    g.uloffset = 0x2;
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &g), -EINVAL);
    EXPECT_THAT(render(trace(), true),
                ElementsAre("lock", "printk \"tolvex_ioctl(3)\\n\"", "from_user 8", "unlock"));
}

} // namespace
