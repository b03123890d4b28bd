# SPDX-License-Identifier: GPL-2.0-only
"""Writes the seed corpus of the tolvex harness (tolvex_fuzz.cpp) into
corpus/tolvex-ioctl: the scenes of the unit tests and the inputs of faults
found earlier, encoded in the harness's layout.

    python3 tests/fuzz/tolvex_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Register numbers of the harness's table.
GPFCON, GPGCON, PWR_HOLD, SYS00, SYS08, SYS10, GP88, GP58, PWR_CFG, STOP_REQ = range(10)
GP54, GPFFC, ADC_CTRL, ADC_SETUP, ADC_DATA0, ADC_DATA1 = range(10, 16)
# Command numbers of the harness's table; RAW takes a code of its own.
CMDS = [0, 1, 2, 3, 4, 5, 6, 7, 0x100, 0x80000000, 0xFFFFFFFF, 0x80000001, 0x10002,
        0x5421, 0x5450, 0x5451, 0x5452, 0x5460, 0xC0045877, 0xC0045878, 0xC020660B,
        0x40049409, 0x4020940D, 0xC0189436]
RAW = 24
# Argument kinds and access of the record's words.
REC, SMALL, KERNEL, ARG64 = 0, 5, 6, 7
NONE, RO, WO, RW = 0, 1, 2, 3


class Seed:
    """Values in the order the harness consumes them; FuzzedDataProvider
    takes integers from the end of the input, most significant byte first."""

    def __init__(self, regs=()):
        self.vals = [(len(regs), 1)]
        for r, v in regs:
            self.vals += [(r, 1), (v, 4)]

    def call(self, cmd, w0=0, w1=0, kind=REC, mis=0, acc=(RW, RW), waits=0,
             map_fails=False, arg=None):
        if cmd in CMDS:
            self.vals.append((CMDS.index(cmd), 1))
        else:
            self.vals += [(RAW, 1), (cmd, 4)]
        self.vals += [(kind | mis << 3, 1), (acc[0] | acc[1] << 2, 1), (w0, 4), (w1, 4),
                      ((waits + 1) | (0x80 if map_fails else 0), 1)]
        if kind == ARG64:
            self.vals.append((arg, 8))
        return self

    def data(self):
        out = b"".join(v.to_bytes(n, "big") for v, n in self.vals)
        return out[::-1]


STOP_REGS = [(GPFCON, 0xAAAAAAAA), (GPGCON, 0x0000E4E4), (PWR_HOLD, 0xFFFFFFFF),
             (SYS00, 0x12345670), (SYS10, 0x0000FFFE), (SYS08, 0x80000001),
             (GP88, 0xFFFFFFFB), (GP58, 0xFFFFFFFF), (PWR_CFG, 0xFFFFFFFF)]
ADC_REGS = [(ADC_CTRL, 0x4C40), (ADC_SETUP, 0xFFFFFFFF), (ADC_DATA0, 0xABCD),
            (ADC_DATA1, 0xFFFFFFFF)]


def seeds():
    s = {}
    s["load-unload"] = Seed()
    s["read-words"] = (Seed([(GPFCON, 0xE4E4), (16, 0x01020304), (GPFFC, 0xA5A5A5A5)])
                       .call(2, 0x50, 0xCAFEF00D).call(2, 0, 0xCAFEF00D).call(2, 0xFFC, 1))
    s["write-0x54"] = Seed([(GP54, 0xFFFFFFFF)]).call(3, 0x54, 0).call(2, 0x54, 7)
    # Undefined behaviour on a misaligned record, found after the first
    # release: every misalignment, read then write.
    for mis in range(1, 8):
        s["misaligned-%d" % mis] = (Seed([(GPFCON, 0xE4E4)]).call(2, 0x50, 0xCAFEF00D, mis=mis)
                                    .call(3, 0x54, 0x0BADCAFE, mis=mis))
    bad = Seed()
    for off in (0x1000, 0xFFFFFFFC, 2, 1, 0xFFF, 0x10000, 0x0A000000):
        bad.call(2, off, 0x12345678).call(3, off, 0x12345678)
    s["bad-offsets"] = bad
    s["unreachable-records"] = (Seed([(GPFCON, 0xE4E4)])
                                .call(2, 0x50, 0x77777777, acc=(NONE, NONE))
                                .call(3, 0x50, 0x77777777, acc=(NONE, NONE))
                                .call(2, 0x50, 0, kind=SMALL).call(3, 0x50, 0, kind=SMALL)
                                .call(3, 0x50, 0x99, acc=(RW, NONE))
                                .call(2, 0x50, 0x99, acc=(RW, NONE)))
    # Refused requests that touched the register or the caller, found after
    # the first release: a result word that cannot be stored, a record that
    # cannot be read.
    s["read-readonly-record"] = (Seed([(GPFCON, 0xE4E4)]).call(2, 0x50, 0x31415926, acc=(RO, RO))
                                 .call(3, 0x50, 5, acc=(RO, RO)))
    s["read-result-word-readonly"] = Seed([(GPFCON, 0xE4E4)]).call(2, 0x50, 1, acc=(RW, RO))
    s["read-writeonly-record"] = Seed().call(2, 0x50, 1, acc=(WO, WO)).call(3, 0x50, 1, acc=(WO, WO))
    s["bad-offset-readonly"] = Seed().call(2, 0x1002, 1, acc=(RO, RO)).call(2, 3, 1, acc=(RW, RO))
    for name, regs in (("stop-aaaa", STOP_REGS),
                       ("stop-5555", [(GPFCON, 0x5555FFFF), (GPGCON, 0x5555FFFF)]),
                       ("stop-ffff0000", [(GPFCON, 0xFFFF0000), (GPGCON, 0xFFFF0000)])):
        s[name] = Seed(regs).call(1, 0xDEADBEEF, 0, kind=SMALL)
    s["stop-test-then-stop"] = (Seed([(GPFCON, 0xE4E4), (GPGCON, 0xAAAAAAAA),
                                      (PWR_HOLD, 0xFFFFFFFF)])
                                .call(6, kind=SMALL).call(1, kind=SMALL).call(6, kind=SMALL))
    s["stop-write-stop"] = (Seed(STOP_REGS).call(1).call(3, 0x50, 0x12345678)
                            .call(3, 0x60, 0xAAAA5555).call(1, kind=KERNEL))
    s["adc-ready-at-once"] = Seed(ADC_REGS).call(5, 0x12345678, 0x9ABCDEF0).call(5, 1, 2)
    s["adc-three-waits"] = Seed(ADC_REGS).call(5, waits=3)
    s["adc-fifty-waits"] = Seed(ADC_REGS).call(5, waits=50)
    s["adc-never-ready"] = Seed(ADC_REGS).call(5, 0x12345678, 0x9ABCDEF0, waits=-1)
    s["adc-map-fails"] = Seed(ADC_REGS).call(5, 0x12345678, 0x9ABCDEF0, map_fails=True)
    s["adc-unwritable"] = (Seed(ADC_REGS).call(5, 1, 2, acc=(RO, RO))
                           .call(5, 3, 4, acc=(NONE, NONE)).call(5, kind=SMALL)
                           .call(5, 5, 6, acc=(RW, RO)).call(5, 7, 8, acc=(WO, NONE))
                           .call(5, 9, 10, acc=(WO, WO), mis=3))
    unknown = Seed()
    for cmd in (0, 7, 0x100, 0x80000000, 0xFFFFFFFF, 0x80000001, 0x10002, 0xDEADBEEF, 0x701):
        unknown.call(cmd, 0xDEADBEEF, 0, kind=ARG64, arg=0xDEADBEEF)
    s["unknown-codes"] = unknown
    s["command-4"] = Seed().call(4, 0x11111111, 0x22222222).call(4, kind=ARG64, arg=0xDEADBEEF)
    s["generic-flags"] = (Seed().call(0x5451).call(0x5450).call(0x5421, 1).call(0x5421, 0)
                          .call(0x5421, 1, acc=(NONE, RW)).call(0x5452, 0).call(0x5452, 1)
                          .call(0x5452, 0, acc=(WO, WO)).call(0x5460, 5, 6))
    s["block-size"] = (Seed([(GPFCON, 0xE4E4)]).call(2, 0x50, 0).call(2, 0x50, 0, acc=(RO, RW))
                       .call(2, 0x50, 0, mis=2, acc=(RW, NONE)))
    fs = Seed()
    for cmd in (0xC0045877, 0xC0045878, 0xC020660B, 0x40049409, 0x4020940D, 0xC0189436):
        fs.call(cmd, 0, 0)
    s["filesystem-codes"] = fs
    kern = Seed()
    for cmd in (2, 3, 5):
        for i in range(5):
            kern.call(cmd, 0x50, i, kind=KERNEL)
    s["kernel-addresses"] = kern
    s["raw-arguments"] = (Seed().call(2, kind=ARG64, arg=0xFFFFFFFFFFFFFFFF)
                          .call(3, kind=ARG64, arg=1).call(5, kind=ARG64, arg=0x8000000000000000))
    # Undefined behaviour found by the harness: the port read formed its
    # result address as a pointer sum, which overflows for an argument at
    # the top of the address space (and is undefined on a null one).
    s["read-top-of-address-space"] = (Seed().call(2, kind=ARG64, arg=0xFFFFFFFFFFFFFFFF)
                                      .call(2, kind=ARG64, arg=0xFFFFFFFFFFFFFFFD)
                                      .call(2, kind=ARG64, arg=0))
    s["mixed"] = (Seed(STOP_REGS + ADC_REGS[:2]).call(3, 0x54, 0xFF).call(5, waits=1)
                  .call(7).call(1).call(2, 0x54, 0, mis=5).call(6).call(4).call(0x5421, 1))
    return s


def main():
    d = os.path.join(HERE, "corpus", "tolvex-ioctl")
    os.makedirs(d, exist_ok=True)
    for name, seed in seeds().items():
        with open(os.path.join(d, name), "wb") as f:
            f.write(seed.data())


if __name__ == "__main__":
    main()
