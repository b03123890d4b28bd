// SPDX-License-Identifier: GPL-2.0-only
// Common fixture: the tolvex module loaded into a fresh kernel stand-in, an
// ioctl entry as a user program's ioctl reaches it, and a compact rendering
// of the service trace.
#pragma once

#include "tolvex_trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

class Tolvex : public ::testing::Test {
  protected:
    void SetUp() override {
        kstandin::reset();
        rGPFCON = 0; // module data is zero at load
        rGPGCON = 0;
        ASSERT_EQ(kstandin::load_module(), 0);
        kstandin::clear_trace();
    }

    void TearDown() override {
        EXPECT_THAT(kstandin::faults(), ::testing::IsEmpty());
        EXPECT_FALSE(kstandin::adc_mapped()) << "converter window left mapped";
    }

    // What a user program's ioctl(fd, cmd, arg) reaches.
    static long ioctl(unsigned cmd, unsigned long arg) {
        return kstandin::user_ioctl(252, cmd, arg);
    }

    template <class T> static long ioctl(unsigned cmd, T *rec) {
        return ioctl(cmd, kstandin::user_addr(rec));
    }

    // The trace after the handler's entry line.
    static std::vector<std::string> body(bool with_lock = false) {
        auto all = render(kstandin::trace(), with_lock);
        EXPECT_FALSE(all.empty());
        if (!all.empty() && all.front().rfind("printk \"tolvex_ioctl(", 0) == 0)
            all.erase(all.begin());
        return all;
    }
};
