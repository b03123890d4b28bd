// SPDX-License-Identifier: GPL-2.0-only
// Implementation of the kernel stand-in: register model, caller memory,
// log capture, character device table, delays, the kernel lock, all recorded
// in order.
#include "kstandin.h"

#include "include/asm/io.h"
#include "include/asm/uaccess.h"
#include "include/linux/delay.h"
#include "include/linux/kernel.h"
#include "include/linux/module.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

namespace kstandin {
namespace {

struct UserRange {
    std::uintptr_t base;
    std::size_t size;
    bool readable;
    bool writable;
};

struct Chrdev {
    std::string name;
    const file_operations *fops;
};

struct State {
    std::map<std::uint32_t, std::uint32_t> regs;
    std::vector<Event> trace;
    std::vector<std::string> lines;
    std::string partial; // log text after the last line feed
    std::string log;
    std::vector<std::string> faults;
    std::vector<UserRange> user;
    std::map<unsigned, Chrdev> chrdevs;
    std::uint64_t now_us = 0;
    bool ioremap_fails = false;
    bool adc_mapped = false;
    int adc_ready_waits = 0;
    bool adc_started = false;
    std::uint64_t adc_start_us = 0;
    bool kernel_locked = false;
};

State &st() {
    static State s;
    return s;
}

void record(Event e) {
    st().trace.push_back(std::move(e));
}

void fault(const std::string &what) {
    st().faults.push_back(what);
}

std::string hex(std::uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

bool in_fixed_block(std::uint64_t a) {
    for (std::uint32_t b : {kSysBlock, kPwrBlock, kGpioBlock})
        if (a >= b && a < std::uint64_t{b} + kBlockSize)
            return true;
    return false;
}

// Model address of a virtual address, or false for a stray access.
bool resolve(const volatile void *p, std::uint32_t &model, const char *op) {
    auto a = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
    bool ok = false;
    if (a % 4 == 0) {
        if (in_fixed_block(a)) {
            model = static_cast<std::uint32_t>(a);
            ok = true;
        } else if (st().adc_mapped && a >= kAdcVirt && a < std::uint64_t{kAdcVirt} + kAdcSize) {
            model = static_cast<std::uint32_t>(a - kAdcVirt + kAdcPhys);
            ok = true;
        }
    }
    if (!ok)
        fault(std::string(op) + " of unmapped or misaligned address " + hex(a));
    return ok;
}

bool adc_done() {
    State &s = st();
    if (!s.adc_started || s.adc_ready_waits < 0)
        return false;
    return s.now_us - s.adc_start_us >= std::uint64_t(s.adc_ready_waits) * 20000;
}

std::uintptr_t uaddr(const volatile void *p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

// Bytes reachable from p for the given direction, up to n.
unsigned long reachable(std::uintptr_t p, unsigned long n, bool write) {
    unsigned long done = 0;
    while (done < n) {
        bool ok = false;
        for (const UserRange &r : st().user) {
            if (p + done >= r.base && p + done < r.base + r.size &&
                (write ? r.writable : r.readable)) {
                ok = true;
                break;
            }
        }
        if (!ok)
            break;
        ++done;
    }
    return done;
}

// Records one copy across the user boundary of n bytes of which ok went
// through; returns what the kernel's copy functions return, the bytes left.
unsigned long record_copy(Ev kind, std::uintptr_t user, unsigned long n, unsigned long ok) {
    Event e{kind};
    e.addr = user;
    e.len = n;
    e.result = static_cast<long>(n - ok);
    record(e);
    return n - ok;
}

} // namespace

void reset() {
    st() = State{};
}

void set_reg(std::uint32_t addr, std::uint32_t value) {
    st().regs[addr] = value;
}

std::uint32_t reg(std::uint32_t addr) {
    auto it = st().regs.find(addr);
    return it == st().regs.end() ? 0 : it->second;
}

void set_adc_ready_after_waits(int waits) {
    st().adc_ready_waits = waits;
}

void set_ioremap_fails(bool fails) {
    st().ioremap_fails = fails;
}

bool adc_mapped() {
    return st().adc_mapped;
}

void add_user_memory(const void *p, std::size_t n, bool readable, bool writable) {
    st().user.push_back({uaddr(p), n, readable, writable});
}

unsigned long user_addr(const void *p) {
    return static_cast<unsigned long>(uaddr(p));
}

int get_user_int(int &value, unsigned long uaddr) {
    bool ok = reachable(uaddr, sizeof value, false) == sizeof value;
    if (ok)
        std::memcpy(&value, reinterpret_cast<const void *>(uaddr), sizeof value);
    record_copy(Ev::CopyFromUser, uaddr, sizeof value, ok ? sizeof value : 0);
    return ok ? 0 : -EFAULT;
}

int put_user_int(int value, unsigned long uaddr) {
    bool ok = reachable(uaddr, sizeof value, true) == sizeof value;
    if (ok)
        std::memcpy(reinterpret_cast<void *>(uaddr), &value, sizeof value);
    record_copy(Ev::CopyToUser, uaddr, sizeof value, ok ? sizeof value : 0);
    return ok ? 0 : -EFAULT;
}

void hold_major(unsigned major, const char *name) {
    static const file_operations other_fops{};
    st().chrdevs[major] = {name, &other_fops};
}

bool major_held(unsigned major) {
    return st().chrdevs.count(major) != 0;
}

std::string major_name(unsigned major) {
    auto it = st().chrdevs.find(major);
    return it == st().chrdevs.end() ? "" : it->second.name;
}

const file_operations *major_fops(unsigned major) {
    auto it = st().chrdevs.find(major);
    return it == st().chrdevs.end() ? nullptr : it->second.fops;
}

void lock_kernel() {
    record(Event{Ev::Lock});
    if (st().kernel_locked)
        fault("lock_kernel with the kernel lock held");
    st().kernel_locked = true;
}

void unlock_kernel() {
    record(Event{Ev::Unlock});
    if (!st().kernel_locked)
        fault("unlock_kernel without the kernel lock");
    st().kernel_locked = false;
}

int load_module() {
    return kstandin_init_module();
}

void unload_module() {
    kstandin_cleanup_module();
}

const std::vector<Event> &trace() {
    return st().trace;
}

void clear_trace() {
    st().trace.clear();
}

std::vector<std::string> log_lines() {
    return st().lines;
}

std::string log_text() {
    return st().log;
}

std::uint64_t elapsed_us() {
    return st().now_us;
}

const std::vector<std::string> &faults() {
    return st().faults;
}

} // namespace kstandin

using namespace kstandin;

extern "C" {

struct module __this_module = {"tolvex"};

int printk(const char *fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    std::string text(buf);
    Event e{Ev::Printk};
    e.text = text;
    record(e);
    State &s = st();
    s.log += text;
    for (char c : text) {
        if (c == '\n') {
            s.lines.push_back(s.partial);
            s.partial.clear();
        } else {
            s.partial += c;
        }
    }
    return n;
}

int register_chrdev(unsigned int major, const char *name, const struct file_operations *fops) {
    State &s = st();
    int result;
    if (major == 0) {
        // Dynamic majors are handed out from 254 down.
        result = -EBUSY;
        for (unsigned m = 254; m > 0; --m) {
            if (!s.chrdevs.count(m)) {
                s.chrdevs[m] = {name, fops};
                result = static_cast<int>(m);
                break;
            }
        }
    } else if (major > 511) {
        result = -EINVAL;
    } else if (s.chrdevs.count(major)) {
        result = -EBUSY;
    } else {
        s.chrdevs[major] = {name, fops};
        result = 0;
    }
    Event e{Ev::RegisterChrdev};
    e.value = major;
    e.text = name;
    e.result = result;
    record(e);
    return result;
}

void unregister_chrdev(unsigned int major, const char *name) {
    State &s = st();
    Event e{Ev::UnregisterChrdev};
    e.value = major;
    e.text = name;
    auto it = s.chrdevs.find(major);
    if (it == s.chrdevs.end() || it->second.name != name) {
        e.result = -EINVAL;
        fault("unregister_chrdev of " + std::to_string(major) + " \"" + name +
              "\", which is not registered under that name");
    } else {
        s.chrdevs.erase(it);
    }
    record(e);
}

u32 __raw_readl(const volatile void *addr) {
    std::uint32_t a = 0;
    Event e{Ev::Read};
    e.addr = uaddr(addr);
    if (resolve(addr, a, "read")) {
        e.value = reg(a);
        if (a == kAdcPhys)
            e.value = adc_done() ? (e.value | kAdcDone) : (e.value & ~kAdcDone);
    }
    record(e);
    return e.value;
}

void __raw_writel(u32 value, volatile void *addr) {
    std::uint32_t a = 0;
    Event e{Ev::Write};
    e.addr = uaddr(addr);
    e.value = value;
    record(e);
    if (!resolve(addr, a, "write"))
        return;
    if (a == kAdcPhys && (value & 1)) {
        // The converter takes the start bit and clears it as it starts.
        st().adc_started = true;
        st().adc_start_us = st().now_us;
        value &= ~1u;
    }
    st().regs[a] = value;
}

void *ioremap(unsigned long phys_addr, size_t size) {
    State &s = st();
    Event e{Ev::Ioremap};
    e.addr = phys_addr;
    e.len = size;
    void *result = nullptr;
    if (s.ioremap_fails) {
        // no mapping
    } else if (phys_addr != kAdcPhys || size > kAdcSize || s.adc_mapped) {
        fault("ioremap of " + hex(phys_addr) + " size " + std::to_string(size) +
              ", which the model does not map");
    } else {
        s.adc_mapped = true;
        result = reinterpret_cast<void *>(std::uintptr_t{kAdcVirt});
    }
    e.value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(result));
    record(e);
    return result;
}

void iounmap(volatile void *addr) {
    Event e{Ev::Iounmap};
    e.addr = uaddr(addr);
    record(e);
    if (!st().adc_mapped || e.addr != kAdcVirt)
        fault("iounmap of " + hex(e.addr) + ", which is not mapped");
    else
        st().adc_mapped = false;
}

void __const_udelay(unsigned long xloops) {
    Event e{Ev::ConstUdelay};
    e.value = static_cast<std::uint32_t>(xloops);
    record(e);
    // xloops is microseconds scaled by (2199023 * HZ) >> 11 = 214748.
    st().now_us += xloops / 214748;
}

void __udelay(unsigned long usecs) {
    Event e{Ev::Udelay};
    e.value = static_cast<std::uint32_t>(usecs);
    record(e);
    st().now_us += usecs;
}

unsigned long copy_from_user(void *to, const void *from, unsigned long n) {
    unsigned long ok = reachable(uaddr(from), n, false);
    if (ok)
        std::memcpy(to, from, ok);
    std::memset(static_cast<char *>(to) + ok, 0, n - ok);
    return record_copy(Ev::CopyFromUser, uaddr(from), n, ok);
}

unsigned long copy_to_user(void *to, const void *from, unsigned long n) {
    unsigned long ok = reachable(uaddr(to), n, true);
    if (ok)
        std::memcpy(to, from, ok);
    return record_copy(Ev::CopyToUser, uaddr(to), n, ok);
}

} // extern "C"
