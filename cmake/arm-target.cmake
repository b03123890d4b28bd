# SPDX-License-Identifier: GPL-2.0-only
# The board's processor, for every compiler call that builds for it: the
# arm preset's toolchain file and the host build's checks that run the
# cross compiler themselves (the module's board-side compile check and the
# 2.6.21 guest's /init).
set(KIT_ARM_CPU_FLAGS -march=armv5te -marm)
