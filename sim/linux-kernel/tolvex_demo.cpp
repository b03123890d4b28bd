// SPDX-License-Identifier: GPL-2.0-only
// Shows the tolvex module at work in the user-space stand-in of the board's
// 2.6.21 kernel: load, a port register read and write, a stop-mode sequence,
// a touch-screen sample, unload.
#include "kstandin.h"
#include "tolvex.h"
#include "user_ioctl.h"

#include <cstdio>
#include <string>

using namespace kstandin;

namespace {

std::size_t shown = 0;

void show_log() {
    auto lines = log_lines();
    for (; shown < lines.size(); ++shown)
        std::printf("  kernel: %s\n", lines[shown].c_str());
}

long ioctl(unsigned cmd, unsigned long arg) {
    long r = user_ioctl(252, cmd, arg);
    show_log();
    return r;
}

const char *reg_name(std::uint64_t a) {
    switch (a) {
    case 0xF6400050:
        return "port F config";
    case 0xF6400058:
        return "port F word 3";
    case 0xF6400060:
        return "port G config";
    case 0xF6400088:
        return "group 8 word 3";
    case 0xF0200040:
        return "stop request";
    case 0xF0200060:
        return "power config";
    case 0xF020008C:
        return "power hold";
    default:
        return "";
    }
}

void summarise_trace() {
    int delays = 0;
    for (const Event &e : trace()) {
        if (e.kind == Ev::ConstUdelay) {
            ++delays;
            continue;
        }
        if (delays) {
            std::printf("    busy-wait %d ms\n", delays);
            delays = 0;
        }
        if (e.kind == Ev::Read || e.kind == Ev::Write)
            std::printf("    %s 0x%08llX  0x%08X  %s\n", e.kind == Ev::Read ? "read " : "write",
                        static_cast<unsigned long long>(e.addr), e.value, reg_name(e.addr));
    }
    if (delays)
        std::printf("    busy-wait %d ms\n", delays);
}

} // namespace

int main() {
    reset();
    set_reg(0xF6400050, 0x0000E4E4);
    set_reg(0xF6400054, 0x000000FF);
    set_reg(0xF6400060, 0xAAAAAAAA);
    set_reg(0xF0200060, 0x00000003);
    set_reg(0xF020008C, 0x80000000);
    set_reg(kAdcPhys + 0x0C, 0x00003ABC);
    set_reg(kAdcPhys + 0x10, 0x00001123);
    set_adc_ready_after_waits(2);

    std::printf("insmod tolvex (kernel 2.6.21 stand-in)\n");
    int r = load_module();
    show_log();
    std::printf("  result %d; major 252 is \"%s\"\n", r, major_name(252).c_str());
    if (r != 0)
        return 1;

    GPORT_DATA g{0x50, 0};
    add_user_memory(&g, sizeof g);
    r = static_cast<int>(ioctl(TOLVEX_CMD_GPORT_READ, user_addr(&g)));
    std::printf("read offset 0x50: result %d, ulvalue 0x%08X\n", r, g.ulvalue);

    g = {0x54, 0x0000005A};
    r = static_cast<int>(ioctl(TOLVEX_CMD_GPORT_WRITE, user_addr(&g)));
    std::printf("write 0x%08X to offset 0x54: result %d, register now 0x%08X\n", g.ulvalue, r,
                reg(0xF6400054));

    g = {0x1000, 0};
    r = static_cast<int>(ioctl(TOLVEX_CMD_GPORT_READ, user_addr(&g)));
    std::printf("read offset 0x1000 (outside the block): result %d\n", r);

    clear_trace();
    auto t0 = elapsed_us();
    r = static_cast<int>(ioctl(TOLVEX_CMD_PW_STOP_MODE, 0));
    std::printf("stop mode: result %d, %llu ms busy-waiting; register trace:\n", r,
                static_cast<unsigned long long>((elapsed_us() - t0) / 1000));
    summarise_trace();

    TSADC_DATA ts{0xFFFFFFFF, 0xFFFFFFFF};
    add_user_memory(&ts, sizeof ts);
    t0 = elapsed_us();
    r = static_cast<int>(ioctl(TOLVEX_CMD_TS_ADC, user_addr(&ts)));
    std::printf("ADC sample: result %d, xp 0x%03X, yp 0x%03X after %llu ms\n", r, ts.xp, ts.yp,
                static_cast<unsigned long long>((elapsed_us() - t0) / 1000));

    r = static_cast<int>(ioctl(7, 0));
    std::printf("unknown command 7: result %d\n", r);

    std::printf("rmmod tolvex\n");
    unload_module();
    show_log();
    std::printf("  major 252 %s\n", major_held(252) ? "still held" : "free");
    return faults().empty() ? 0 : 1;
}
