// SPDX-License-Identifier: GPL-2.0-only
// The module's global symbols and a compact rendering of the stand-in's
// service trace: shared by the unit tests and the fuzz
// harness, so free of any test framework.
#pragma once

#include "kstandin.h"
#include "tolvex.h"
#include "user_ioctl.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" {
extern std::uint32_t rGPFCON;
extern std::uint32_t rGPGCON;
std::uint32_t SysPBA_Q7M_GetOffset(std::uint32_t ulIOType);
std::uint32_t SysPBA_GPort_Read(std::uint32_t ulIOType);
void SysPBA_GPort_Write(std::uint32_t ulIOType, std::uint32_t ulValue);
std::uint32_t SysPBA_GPort_ReadBit(std::uint32_t ulIOType, std::uint32_t uwPortNum);
void SysPBA_GPort_WriteBit(std::uint32_t ulIOType, std::uint32_t uwPortNum, std::uint32_t ulValue);
void pw_cfg_init(void);
void pw_ioport_prologue(void);
void pw_ioport_epilogue(void);
}

// One line per service call; 20 ms waits and other runs of equal
// __const_udelay calls folded into one line.
inline std::vector<std::string> render(const std::vector<kstandin::Event> &events,
                                       bool with_lock = false) {
    using kstandin::Ev;
    std::vector<std::string> out;
    char buf[160];
    for (std::size_t i = 0; i < events.size(); ++i) {
        const kstandin::Event &e = events[i];
        switch (e.kind) {
        case Ev::Read:
            std::snprintf(buf, sizeof buf, "R %08llX -> %08X", (unsigned long long)e.addr, e.value);
            break;
        case Ev::Write:
            std::snprintf(buf, sizeof buf, "W %08llX <- %08X", (unsigned long long)e.addr, e.value);
            break;
        case Ev::ConstUdelay: {
            std::size_t n = 1;
            while (i + n < events.size() && events[i + n].kind == Ev::ConstUdelay &&
                   events[i + n].value == e.value)
                ++n;
            i += n - 1;
            if (e.value == kstandin::kUdelay1ms && n == 20)
                std::snprintf(buf, sizeof buf, "delay 20ms");
            else
                std::snprintf(buf, sizeof buf, "const_udelay %08X x%zu", e.value, n);
            break;
        }
        case Ev::Udelay:
            std::snprintf(buf, sizeof buf, "udelay %u", e.value);
            break;
        case Ev::Ioremap:
            std::snprintf(buf, sizeof buf, "ioremap %08llX %lu -> %08X", (unsigned long long)e.addr,
                          e.len, e.value);
            break;
        case Ev::Iounmap:
            std::snprintf(buf, sizeof buf, "iounmap %08llX", (unsigned long long)e.addr);
            break;
        case Ev::CopyFromUser:
        case Ev::CopyToUser:
            std::snprintf(buf, sizeof buf, "%s %lu%s",
                          e.kind == Ev::CopyFromUser ? "from_user" : "to_user", e.len,
                          e.result ? " FAILED" : "");
            break;
        case Ev::Printk: {
            std::string t;
            for (char c : e.text)
                t += c == '\n' ? std::string("\\n") : std::string(1, c);
            std::snprintf(buf, sizeof buf, "printk \"%s\"", t.c_str());
            break;
        }
        case Ev::Lock:
        case Ev::Unlock:
            if (!with_lock)
                continue;
            std::snprintf(buf, sizeof buf, "%s", e.kind == Ev::Lock ? "lock" : "unlock");
            break;
        case Ev::RegisterChrdev:
            std::snprintf(buf, sizeof buf, "register_chrdev %u %s -> %ld", e.value, e.text.c_str(),
                          e.result);
            break;
        case Ev::UnregisterChrdev:
            std::snprintf(buf, sizeof buf, "unregister_chrdev %u %s", e.value, e.text.c_str());
            break;
        }
        out.push_back(buf);
    }
    return out;
}

inline int count(const std::vector<kstandin::Event> &events, kstandin::Ev kind) {
    int n = 0;
    for (const auto &e : events)
        n += e.kind == kind;
    return n;
}
