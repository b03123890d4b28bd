// SPDX-License-Identifier: GPL-2.0-only
// Scenarios against the host build of quenzor with the host stand-in.
#include "harness.h"

#include <gtest/gtest.h>

const Target &target() {
    static const Target t{"native", {}, QUENZOR_PATH, STANDIN_PATH};
    return t;
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
