// SPDX-License-Identifier: GPL-2.0-only
// Sequences of ioctl calls on the tolvex device through the stand-in of the
// board's 2.6.21 kernel. Each input: some register contents, then up to kMaxSteps
// calls, each with a command code, a record placed anywhere (misaligned,
// partly or not at all the caller's, read-only, write-only) or a raw
// argument, and the converter's readiness. Every call is checked against
// what the device promises its callers; the input ends with an unload.
//
// Layout, in FuzzedDataProvider's order of consumption (integers come from
// the end of the input, most significant byte first):
//   u8 register count (mod 16), then per register: u8 register, u32 value
//   per call: u8 command (mod 32: below the table's size an entry of it,
//             else a u32 code follows),
//             u8 argument (bits 0-2: 0-4 record, 5 small value, 6 kernel
//             address, 7 u64 follows; bits 3-5: misalignment; bits 6-7:
//             nothing),
//             u8 access of the record's two words (bits 0-1 first, 2-3
//             second: 0 not the caller's, 1 read-only, 2 write-only,
//             3 read-write), u32 first word, u32 second word,
//             u8 converter (bit 7: mapping fails; bits 0-6 mod 62, minus
//             one: waits until the conversion ends, -1 never)
#include "tolvex_trace.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace kstandin;

namespace {

constexpr std::uint32_t kGpio = 0xF6400000;
constexpr std::uint32_t kGpfcon = 0xF6400050;
constexpr std::uint32_t kGpgcon = 0xF6400060;
constexpr std::uint32_t kPwrHold = 0xF020008C;
constexpr int kMaxSteps = 24;
constexpr std::size_t kSlot = 32; // caller memory per call
constexpr std::size_t kRecAt = 8; // record offset in the slot before misalignment

const std::uint32_t kRegs[] = {kGpfcon,         kGpgcon,         kPwrHold,        0xF0000000,
                               0xF0000008,      0xF0000010,      0xF6400088,      0xF6400058,
                               0xF0200060,      0xF0200040,      0xF6400054,      0xF6400FFC,
                               kAdcPhys + 0x00, kAdcPhys + 0x04, kAdcPhys + 0x0C, kAdcPhys + 0x10};

const std::uint32_t kCmds[] = {
    0, TOLVEX_CMD_PW_STOP_MODE, TOLVEX_CMD_GPORT_READ, TOLVEX_CMD_GPORT_WRITE,
    TOLVEX_PBA_END_GPOTEST, TOLVEX_CMD_TS_ADC, TOLVEX_CMD_PW_STOP_MODE_TEST, 7, 0x100, 0x80000000u,
    0xFFFFFFFFu, 0x80000001u,
    0x00010002u, // low half 2
    kFIONBIO, kFIONCLEX, kFIOCLEX, kFIOASYNC, kFIOQSIZE,
    // File-system codes of later kernels: in 2.6.21 they reach the handler.
    0xC0045877u, 0xC0045878u, 0xC020660Bu, 0x40049409u, 0x4020940Du, 0xC0189436u};

// Addresses in the kernel's half or plainly invalid for a caller.
const unsigned long kKernelAddrs[] = {0xC0000000ul, 0xF6400050ul, 0xFFFFFFFFul,
                                      0xFFFF888000000000ul, 0xFFFFFFFFFFFFFFF8ul};

// Codes the generic layer answers for a device itself: the module must not
// see them.
bool kernel_answers(std::uint32_t cmd) {
    switch (cmd) {
    case kFIONBIO:
    case kFIONCLEX:
    case kFIOCLEX:
    case kFIOASYNC:
    case kFIOQSIZE:
        return true;
    }
    return false;
}

[[noreturn]] void violation(std::uint32_t cmd, unsigned long arg, const char *fmt, ...) {
    std::fprintf(stderr, "tolvex: command %u (0x%X), arg 0x%lX: ", cmd, cmd, arg);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fprintf(stderr, "\n");
    for (const std::string &f : faults())
        std::fprintf(stderr, "  stand-in fault: %s\n", f.c_str());
    std::abort();
}

void check_faults(std::uint32_t cmd, unsigned long arg) {
    if (!faults().empty())
        violation(cmd, arg, "the stand-in saw a misuse");
}

// Caller memory of every call of one input; each call has a slot of its
// own, since declared memory stays declared until the next input.
alignas(16) unsigned char arena[kMaxSteps][kSlot];

std::uint32_t word_at(const unsigned char *p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void run(FuzzedDataProvider &in) {
    reset();
    rGPFCON = 0; // module data is zero at load
    rGPGCON = 0;
    if (load_module() != 0)
        violation(0, 0, "load failed");
    for (int n = in.ConsumeIntegral<std::uint8_t>() % 16; n > 0; --n) {
        std::uint8_t which = in.ConsumeIntegral<std::uint8_t>();
        std::uint32_t value = in.ConsumeIntegral<std::uint32_t>();
        constexpr std::size_t kNamed = sizeof kRegs / sizeof kRegs[0];
        std::uint32_t addr = which < kNamed ? kRegs[which] : kGpio + 4 * (which - kNamed);
        set_reg(addr, value);
    }

    for (int step = 0; step < kMaxSteps && in.remaining_bytes() > 0; ++step) {
        std::uint8_t c = in.ConsumeIntegral<std::uint8_t>() % 32;
        std::uint32_t cmd =
            c < sizeof kCmds / sizeof kCmds[0] ? kCmds[c] : in.ConsumeIntegral<std::uint32_t>();
        std::uint8_t where = in.ConsumeIntegral<std::uint8_t>();
        std::uint8_t access = in.ConsumeIntegral<std::uint8_t>();
        std::uint32_t w0 = in.ConsumeIntegral<std::uint32_t>();
        std::uint32_t w1 = in.ConsumeIntegral<std::uint32_t>();
        std::uint8_t conv = in.ConsumeIntegral<std::uint8_t>();

        unsigned char *slot = arena[step];
        std::memset(slot, 0xA5, kSlot);
        unsigned char *rec = slot + kRecAt + ((where >> 3) & 7);
        std::memcpy(rec, &w0, 4);
        std::memcpy(rec + 4, &w1, 4);
        unsigned long arg;
        switch (where & 7) {
        case 5:
            arg = w1 & 0xFF;
            break;
        case 6:
            arg = kKernelAddrs[w1 % (sizeof kKernelAddrs / sizeof kKernelAddrs[0])];
            break;
        case 7:
            arg = in.ConsumeIntegral<std::uint64_t>();
            break;
        default:
            arg = user_addr(rec);
            for (int half = 0; half < 2; ++half) {
                unsigned a = (access >> (2 * half)) & 3;
                if (a)
                    add_user_memory(rec + 4 * half, 4, a & 1, a & 2);
            }
        }
        set_ioremap_fails(conv & 0x80);
        set_adc_ready_after_waits((conv & 0x7F) % 62 - 1);

        unsigned char before[kSlot];
        std::memcpy(before, slot, kSlot);
        const std::uint32_t saved_f = rGPFCON, saved_g = rGPGCON;
        const std::uint32_t con_f = reg(kGpfcon), con_g = reg(kGpgcon);
        const std::size_t from = trace().size();

        long r = user_ioctl(252, cmd, arg);

        int regs = 0, entries = 0;
        for (std::size_t i = from; i < trace().size(); ++i) {
            const Event &e = trace()[i];
            regs += e.kind == Ev::Read || e.kind == Ev::Write;
            entries += e.kind == Ev::Printk && e.text.rfind("tolvex_ioctl(", 0) == 0;
        }
        const bool handled = entries == 1;
        check_faults(cmd, arg);
        if (r > 0 || r < -4095)
            violation(cmd, arg, "result %ld is neither 0 nor an error number", r);
        if (entries != (kernel_answers(cmd) ? 0 : 1))
            violation(cmd, arg, "the handler was entered %d times", entries);
        // The record's own bytes may change; nothing around it may.
        for (std::size_t i = 0; i < kSlot; ++i) {
            bool in_rec = slot + i >= rec && slot + i < rec + 8;
            if (slot[i] != before[i] && (!in_rec || (where & 7) > 4))
                violation(cmd, arg, "caller byte %zu outside the record changed", i);
        }
        const bool record_changed = std::memcmp(slot, before, kSlot) != 0;
        // A conversion that timed out, or whose result could not be stored,
        // did its register work: the sample is taken before it is copied out.
        const bool adc_fail =
            handled && cmd == TOLVEX_CMD_TS_ADC && (r == -EFAULT || r == -ETIMEDOUT);
        if (r < 0) {
            if (regs && !adc_fail)
                violation(cmd, arg, "refused with %ld after %d register accesses", r, regs);
            if (record_changed && !(adc_fail && r == -EFAULT))
                violation(cmd, arg, "refused with %ld after writing the caller's record", r);
        }
        if (handled && r == 0 && cmd == TOLVEX_CMD_GPORT_READ) {
            if (word_at(rec) != w0 || word_at(rec + 4) != reg(kGpio + w0))
                violation(cmd, arg, "read of offset 0x%X left %08X %08X, register %08X", w0,
                          word_at(rec), word_at(rec + 4), reg(kGpio + w0));
        }
        if (handled && r == 0 && cmd == TOLVEX_CMD_GPORT_WRITE) {
            if (record_changed)
                violation(cmd, arg, "write changed the caller's record");
            if (reg(kGpio + w0) != w1)
                violation(cmd, arg, "write of offset 0x%X left %08X", w0, reg(kGpio + w0));
        }
        if (handled && r == 0 && cmd == TOLVEX_CMD_TS_ADC) {
            if (word_at(rec) != (reg(kAdcPhys + 0x0C) & 0xFFF) ||
                word_at(rec + 4) != (reg(kAdcPhys + 0x10) & 0xFFF))
                violation(cmd, arg, "sample %08X %08X", word_at(rec), word_at(rec + 4));
        }
        if (handled && cmd == TOLVEX_CMD_PW_STOP_MODE) {
            // The saved words are the ports' configuration before the call,
            // and the ports end as they began, with the hold bit set again.
            if (r != 0 || rGPFCON != con_f || rGPGCON != con_g)
                violation(cmd, arg, "stop mode saved %08X %08X for ports at %08X %08X (%ld)",
                          rGPFCON, rGPGCON, con_f, con_g, r);
            if (reg(kGpfcon) != con_f || reg(kGpgcon) != con_g || !(reg(kPwrHold) & 0x80000000u))
                violation(cmd, arg, "stop mode left ports %08X %08X, hold %08X", reg(kGpfcon),
                          reg(kGpgcon), reg(kPwrHold));
            // Bit 0 of the three system words ends set, also where it was set.
            for (std::uint32_t w : {0xF0000000u, 0xF0000008u, 0xF0000010u})
                if (!(reg(w) & 1))
                    violation(cmd, arg, "stop mode left bit 0 of %08X clear", w);
        } else if (rGPFCON != saved_f || rGPGCON != saved_g) {
            violation(cmd, arg, "saved port words changed outside stop mode");
        }
        if (adc_mapped())
            violation(cmd, arg, "converter window left mapped");
    }

    unload_module();
    check_faults(0, 0);
    if (major_held(252) || adc_mapped())
        violation(0, 0, "unload left the major registered or the window mapped");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    run(in);
    return 0;
}
