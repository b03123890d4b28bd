// SPDX-License-Identifier: GPL-2.0-only
// User-space stand-in for the kernel services the tolvex module uses.
//
// The module source is compiled unchanged as C against include/ and linked
// with this library. Every service call lands in one ordered trace, so tests
// can check what the module did to registers, caller memory, the log and the
// character device table, under the kernel's lock or not, and in which order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "include/linux/fs.h"
#include "include/linux/module.h"

namespace kstandin {

enum class Ev {
    Read,             // addr = virtual address, value = value returned
    Write,            // addr = virtual address, value = value stored
    ConstUdelay,      // value = xloops argument
    Udelay,           // value = microseconds
    Ioremap,          // addr = physical address, len = size, value = result (0 on failure)
    Iounmap,          // addr = virtual address
    CopyFromUser,     // addr = caller address, len = bytes asked, result = bytes not copied
    CopyToUser,       // likewise
    Printk,           // text = formatted message of one call
    Lock,             // the kernel's global lock taken around the driver's ioctl slot
    Unlock,           // and released
    RegisterChrdev,   // value = major, text = name, result = result
    UnregisterChrdev, // value = major, text = name
};

struct Event {
    Ev kind;
    std::uint64_t addr = 0;
    std::uint32_t value = 0;
    unsigned long len = 0;
    long result = 0;
    std::string text{};
};

// Fixed register blocks (virtual = as the module addresses them), each one
// 4 KiB page, and the converter window (physical) with its fake mapping.
constexpr std::uint32_t kSysBlock = 0xF0000000;
constexpr std::uint32_t kPwrBlock = 0xF0200000;
constexpr std::uint32_t kGpioBlock = 0xF6400000;
constexpr std::uint32_t kBlockSize = 0x1000;
constexpr std::uint32_t kAdcPhys = 0x58000000;
constexpr std::uint32_t kAdcSize = 0x20;
constexpr std::uint32_t kAdcVirt = 0xC8800000;   // what ioremap hands out
constexpr std::uint32_t kAdcDone = 0x8000;       // end-of-conversion bit
constexpr std::uint32_t kUdelay1ms = 0x0CCCCB60; // 1000 us scaled for HZ=200

// Back to the state of a freshly booted kernel with the module not loaded:
// registers zero, no trace, no log, no character devices, no caller memory.
void reset();

// Registers: address as the module uses it (fixed block) or the converter's
// physical address. Setting does not appear in the trace.
void set_reg(std::uint32_t addr, std::uint32_t value);
std::uint32_t reg(std::uint32_t addr);

// Converter: the end-of-conversion bit shows once this many 20 ms waits have
// passed since the start bit was written (0: at the first poll; -1: never).
void set_adc_ready_after_waits(int waits);
void set_ioremap_fails(bool fails);
bool adc_mapped();

// Caller memory: only declared ranges are reachable by copy_*_user.
void add_user_memory(const void *p, std::size_t n, bool readable = true, bool writable = true);
unsigned long user_addr(const void *p); // the value a caller passes as arg

// The kernel's get_user / put_user of one int at a caller address, as the
// generic ioctl layer uses them: all four bytes or none, recorded as a copy of
// 4 bytes. 0 or -EFAULT.
int get_user_int(int &value, unsigned long uaddr);
int put_user_int(int value, unsigned long uaddr);

// Character devices. hold_major registers another driver first.
void hold_major(unsigned major, const char *name);
bool major_held(unsigned major);
std::string major_name(unsigned major);
const file_operations *major_fops(unsigned major);

// The kernel's global lock (lock_kernel / unlock_kernel), as the generic
// ioctl layer takes it around a driver's ioctl slot.
void lock_kernel();
void unlock_kernel();

// Module entries (the kernel's insmod / rmmod).
int load_module();
void unload_module();

// Trace, log and faults.
const std::vector<Event> &trace();
void clear_trace();
std::vector<std::string> log_lines(); // complete lines printed so far
std::string log_text();
std::uint64_t elapsed_us(); // busy-wait time so far
// Misuses the model detected: stray register accesses, unbalanced locks,
// unmapping what was not mapped. Empty in a correct run.
const std::vector<std::string> &faults();

} // namespace kstandin

// Defined by the module's module_init / module_exit / MODULE_LICENSE.
extern "C" int kstandin_init_module(void);
extern "C" void kstandin_cleanup_module(void);
extern "C" const char kstandin_module_license[];
