// SPDX-License-Identifier: GPL-2.0-only
// Register work of the commands: port word access, port access functions,
// stop-mode sequence and touch-screen sample, checked against the ordered
// trace of every register access, delay, caller copy and log line.
#include "tolvex_fixture.h"

#include <algorithm>
#include <cstring>

using namespace kstandin;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

// ---- commands 2 and 3 ----------------------------------------------------

using TolvexGport = Tolvex;

TEST_F(TolvexGport, ReadReturnsTheWordAtTheOffsetAnywhereInTheBlock) {
    const std::pair<std::uint32_t, std::uint32_t> words[] = {
        {0x50, 0x0000E4E4}, {0, 0x01020304}, {0xFFC, 0xA5A5A5A5}};
    for (auto [off, value] : words) {
        set_reg(0xF6400000 + off, value);
        GPORT_DATA g{off, 0xCAFEF00D};
        add_user_memory(&g, sizeof g);
        clear_trace();
        EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_READ, &g), 0);
        EXPECT_EQ(g.uloffset, off);
        EXPECT_EQ(g.ulvalue, value);
        // The record is read and found writable before the single register load.
        char load[32];
        std::snprintf(load, sizeof load, "R %08X -> %08X", 0xF6400000 + off, value);
        EXPECT_THAT(body(), ElementsAre("from_user 8", "to_user 4", load, "to_user 4"));
    }
}

TEST_F(TolvexGport, MisalignedRecordIsReadAndWrittenWhole) {
    set_reg(0xF6400050, 0x0000E4E4);
    alignas(8) unsigned char raw[1 + sizeof(GPORT_DATA)] = {};
    unsigned char *rec = raw + 1;
    const GPORT_DATA in{0x50, 0xCAFEF00D};
    std::memcpy(rec, &in, sizeof in);
    add_user_memory(rec, sizeof in);
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_READ, kstandin::user_addr(rec)), 0);
    GPORT_DATA out;
    std::memcpy(&out, rec, sizeof out);
    EXPECT_EQ(out.uloffset, 0x50u);
    EXPECT_EQ(out.ulvalue, 0x0000E4E4u);

    const GPORT_DATA store{0x54, 0x0BADCAFE};
    std::memcpy(rec, &store, sizeof store);
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, kstandin::user_addr(rec)), 0);
    EXPECT_EQ(reg(0xF6400054), 0x0BADCAFEu);
}

TEST_F(TolvexGport, WriteOfOffset0x54StoresValueAndLeavesRecordAlone) {
    set_reg(0xF6400054, 0xFFFFFFFF);
    GPORT_DATA g{0x54, 0};
    add_user_memory(&g, sizeof g);
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &g), 0);
    EXPECT_EQ(reg(0xF6400054), 0u);
    EXPECT_EQ(g.uloffset, 0x54u);
    EXPECT_EQ(g.ulvalue, 0u);
    // One plain store: no read-modify-write, nothing copied back.
    EXPECT_THAT(body(), ElementsAre("from_user 8", "W F6400054 <- 00000000"));
}

TEST_F(TolvexGport, OffsetsOutsideTheBlockOrMisalignedAreRefusedUntouched) {
    for (std::uint32_t off : {0x1000u, 0xFFFFFFFCu, 0x2u, 0x1u, 0xFFFu, 0x10000u, 0x0A000000u}) {
        for (unsigned cmd : {TOLVEX_CMD_GPORT_READ, TOLVEX_CMD_GPORT_WRITE}) {
            GPORT_DATA g{off, 0x12345678};
            add_user_memory(&g, sizeof g);
            clear_trace();
            EXPECT_EQ(ioctl(cmd, &g), -EINVAL) << std::hex << off << " cmd " << cmd;
            EXPECT_EQ(g.uloffset, off);
            EXPECT_EQ(g.ulvalue, 0x12345678u);
            EXPECT_THAT(body(), ElementsAre("from_user 8")) << std::hex << off << " cmd " << cmd;
        }
    }
}

TEST_F(TolvexGport, RecordsTheCallerCannotReachGetEFAULTWithoutRegisterAccess) {
    set_reg(0xF6400050, 0x0000E4E4);
    // Not the caller's memory at all.
    GPORT_DATA stranger{0x50, 0x77777777};
    for (unsigned cmd : {TOLVEX_CMD_GPORT_READ, TOLVEX_CMD_GPORT_WRITE}) {
        clear_trace();
        EXPECT_EQ(ioctl(cmd, &stranger), -EFAULT);
        // Null, kernel addresses, the top of the address space (where the
        // result word's address wraps).
        for (unsigned long arg : {0ul, 0xC0000000ul, 0xFFFF888000000000ul, ~0ul, ~0ul - 5})
            EXPECT_EQ(ioctl(cmd, arg), -EFAULT) << std::hex << arg;
        EXPECT_EQ(count(trace(), Ev::Read) + count(trace(), Ev::Write), 0);
    }
    EXPECT_EQ(stranger.ulvalue, 0x77777777u);
    EXPECT_EQ(reg(0xF6400050), 0x0000E4E4u);

    // Half of the record lies outside the caller's memory.
    GPORT_DATA half{0x50, 0x99};
    add_user_memory(&half.uloffset, sizeof half.uloffset);
    clear_trace();
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &half), -EFAULT);
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_READ, &half), -EFAULT);
    EXPECT_EQ(count(trace(), Ev::Read) + count(trace(), Ev::Write), 0);
    EXPECT_EQ(reg(0xF6400050), 0x0000E4E4u);
}

TEST_F(TolvexGport, ReadIntoReadOnlyRecordFailsBeforeTheRegisterLoad) {
    GPORT_DATA g{0x50, 0x31415926};
    add_user_memory(&g, sizeof g, true, false);
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_READ, &g), -EFAULT);
    EXPECT_EQ(g.ulvalue, 0x31415926u);
    EXPECT_EQ(count(trace(), Ev::Read), 0);
    // A write only reads the record, so a read-only record is fine for it.
    g.ulvalue = 0x5;
    EXPECT_EQ(ioctl(TOLVEX_CMD_GPORT_WRITE, &g), 0);
    EXPECT_EQ(reg(0xF6400050), 0x5u);
}

// ---- port access functions -------------------------------------------------

using TolvexPort = Tolvex;

TEST_F(TolvexPort, IdentifiersSelectTheDataWordOfTheirGroup) {
    const std::pair<std::uint32_t, std::uint32_t> table[] = {
        {21, 0x004}, {26, 0x054}, {27, 0x064}, {35, 0x0E4}, {38, 0x114}, {39, 0x0E4}, {40, 0x0F4}};
    for (auto [id, off] : table)
        EXPECT_EQ(SysPBA_Q7M_GetOffset(id), off) << id;
    EXPECT_THAT(trace(), IsEmpty());
}

TEST_F(TolvexPort, ReadAndWriteUseOneAccessOfTheDataWord) {
    set_reg(0xF6400054, 0x00C0FFEE);
    EXPECT_EQ(SysPBA_GPort_Read(26), 0x00C0FFEEu);
    SysPBA_GPort_Write(27, 0x0BADCAFE);
    EXPECT_THAT(render(trace()), ElementsAre("R F6400054 -> 00C0FFEE", "W F6400064 <- 0BADCAFE"));
}

TEST_F(TolvexPort, ReadBitGivesZeroOrOneNotTheBitWeight) {
    set_reg(0xF6400054, 0x80000001);
    EXPECT_EQ(SysPBA_GPort_ReadBit(26, 31), 1u);
    EXPECT_EQ(SysPBA_GPort_ReadBit(26, 0), 1u);
    EXPECT_EQ(SysPBA_GPort_ReadBit(26, 1), 0u);
    EXPECT_EQ(SysPBA_GPort_ReadBit(26, 30), 0u);
}

TEST_F(TolvexPort, WriteBitSetsForAnyNonZeroValueAndClearsForZero) {
    set_reg(0xF6400064, 0x00000000);
    SysPBA_GPort_WriteBit(27, 5, 2);
    EXPECT_EQ(reg(0xF6400064), 0x20u);
    SysPBA_GPort_WriteBit(27, 31, 0xFFFFFFFF);
    EXPECT_EQ(reg(0xF6400064), 0x80000020u);
    SysPBA_GPort_WriteBit(27, 5, 0);
    EXPECT_EQ(reg(0xF6400064), 0x80000000u);
    // Read then write of the whole word, nothing else.
    clear_trace();
    SysPBA_GPort_WriteBit(27, 0, 1);
    EXPECT_THAT(render(trace()), ElementsAre("R F6400064 -> 80000000", "W F6400064 <- 80000001"));
}

TEST_F(TolvexPort, PinNumbersFrom32SelectNoBit) {
    set_reg(0xF6400054, 0xFFFFFFFF);
    set_reg(0xF6400064, 0x00000000);
    for (std::uint32_t pin = 32; pin < 300; ++pin) {
        EXPECT_EQ(SysPBA_GPort_ReadBit(26, pin), 0u) << pin;
        SysPBA_GPort_WriteBit(26, pin, 0);
        SysPBA_GPort_WriteBit(27, pin, 1);
    }
    EXPECT_EQ(SysPBA_GPort_ReadBit(26, 0xFFFFFFFF), 0u);
    EXPECT_EQ(reg(0xF6400054), 0xFFFFFFFFu);
    EXPECT_EQ(reg(0xF6400064), 0u);
}

TEST_F(TolvexPort, IdentifiersWhoseDataWordLiesOutsideTheBlockTouchNothing) {
    // Below 21 the offset wraps; from 281 on it passes the end of the block,
    // also where 16 * identifier wraps around 2^32 (0x10000019 would give
    // offset 4, 0x20000118 offset 0xFF4, 0xF000001A offset 0x14).
    const std::uint32_t wrapped[] = {0x10000019u, 0x20000118u, 0xF000001Au};
    for (std::uint32_t id : wrapped)
        EXPECT_GE(SysPBA_Q7M_GetOffset(id), 0x1000u) << std::hex << id;
    for (std::uint32_t id :
         {0u, 1u, 20u, 281u, 1000u, 0x0FFFFFFFu, wrapped[0], wrapped[1], wrapped[2], 0xFFFFFFFFu}) {
        EXPECT_EQ(SysPBA_GPort_Read(id), 0u) << id;
        EXPECT_EQ(SysPBA_GPort_ReadBit(id, 3), 0u) << id;
        SysPBA_GPort_Write(id, 0xFFFFFFFF);
        SysPBA_GPort_WriteBit(id, 3, 1);
    }
    EXPECT_THAT(trace(), IsEmpty());
    // The last identifier inside the block still works.
    set_reg(0xF6400FF4, 0x8);
    EXPECT_EQ(SysPBA_Q7M_GetOffset(280), 0xFF4u);
    EXPECT_EQ(SysPBA_GPort_ReadBit(280, 3), 1u);
}

// ---- stop mode ---------------------------------------------------------------

using TolvexStop = Tolvex;

const char *const kLoadLine = "[device_init : 339] device_init() start !!!";

// Other words hold set bits everywhere, so a wrong mask shows. Bit 0 of the
// word at 0xF0000008 is already set: it must stay set (a toggle clears it).
void set_stop_registers(std::uint32_t portf, std::uint32_t portg) {
    set_reg(0xF6400050, portf);
    set_reg(0xF6400060, portg);
    set_reg(0xF020008C, 0xFFFFFFFF);
    set_reg(0xF0000000, 0x12345670);
    set_reg(0xF0000010, 0x0000FFFE);
    set_reg(0xF0000008, 0x80000001);
    set_reg(0xF6400088, 0xFFFFFFFB);
    set_reg(0xF6400058, 0xFFFFFFFF);
    set_reg(0xF0200060, 0xFFFFFFFF);
    set_reg(0xF0200040, 0x00000000);
}

TEST_F(TolvexStop, Command1RunsTheWholeSequenceInOrder) {
    set_stop_registers(0xAAAAAAAA, 0x0000E4E4);
    EXPECT_EQ(ioctl(TOLVEX_CMD_PW_STOP_MODE, 0xDEADBEEFul), 0);
    EXPECT_THAT(body(), ElementsAreArray({
                            "printk \"\\n>> TOLVEX_CMD_PW_STOP_MODE\\n\"",
                            // prologue
                            "R F020008C -> FFFFFFFF",
                            "W F020008C <- 7FFFFFFF",
                            "R F6400050 -> AAAAAAAA",
                            "W F6400050 <- AAAA0000",
                            "R F6400060 -> 0000E4E4",
                            "W F6400060 <- 0000C4C4",
                            "R F0000000 -> 12345670",
                            "W F0000000 <- 12345671",
                            "R F0000010 -> 0000FFFE",
                            "W F0000010 <- 0000FFFF",
                            "R F0000008 -> 80000001",
                            "W F0000008 <- 80000001",
                            "R F6400088 -> FFFFFFFB",
                            "W F6400088 <- FFFFFFFC",
                            "R F6400058 -> FFFFFFFF",
                            "W F6400058 <- FFFFFFFC",
                            "R F6400050 -> AAAA0000",
                            "W F6400050 <- AAAA0002",
                            "delay 20ms",
                            // power configuration and stop request
                            "R F0200060 -> FFFFFFFF",
                            "W F0200060 <- FFFEFFF0",
                            "W F0200040 <- 00010000",
                            // epilogue
                            "W F6400050 <- AAAAAAAA",
                            "W F6400060 <- 0000E4E4",
                            "R F020008C -> 7FFFFFFF",
                            "W F020008C <- FFFFFFFF",
                            "delay 20ms",
                            "printk \"\\n<< TOLVEX_CMD_PW_STOP_MODE\\n\"",
                        }));
    EXPECT_EQ(rGPFCON, 0xAAAAAAAAu);
    EXPECT_EQ(rGPGCON, 0x0000E4E4u);
    EXPECT_EQ(elapsed_us(), 40000u);
    EXPECT_EQ(count(trace(), Ev::ConstUdelay), 40);
    EXPECT_EQ(count(trace(), Ev::Udelay), 0);
    // Two lines around the work.
    EXPECT_THAT(log_lines(),
                ElementsAre(kLoadLine, "tolvex_ioctl(1)", "", ">> TOLVEX_CMD_PW_STOP_MODE", "",
                            "<< TOLVEX_CMD_PW_STOP_MODE"));
    EXPECT_EQ(count(trace(), Ev::Printk), 3);
}

TEST_F(TolvexStop, PortSwitchClearsOnlyMode2FieldsOfPins0To7) {
    const struct {
        std::uint32_t con, switched, pin0;
    } cases[] = {
        {0xAAAAAAAA, 0xAAAA0000, 0xAAAA0002}, // every field 2
        {0x0000E4E4, 0x0000C4C4, 0x0000C4C6}, // pins 2 and 6 hold 2
        {0x5555FFFF, 0x5555FFFF, 0x5555FFFE}, // only 1 and 3
        {0xFFFF0000, 0xFFFF0000, 0xFFFF0002}, // only 0, high pins ignored
    };
    for (const auto &c : cases) {
        reset();
        set_stop_registers(c.con, c.con);
        ASSERT_EQ(load_module(), 0);
        ASSERT_EQ(ioctl(TOLVEX_CMD_PW_STOP_MODE, 0ul), 0);
        std::vector<std::uint32_t> f, g;
        for (const Event &e : trace()) {
            if (e.kind == Ev::Write && e.addr == 0xF6400050)
                f.push_back(e.value);
            if (e.kind == Ev::Write && e.addr == 0xF6400060)
                g.push_back(e.value);
        }
        EXPECT_THAT(f, ElementsAre(c.switched, c.pin0, c.con)) << std::hex << c.con;
        EXPECT_THAT(g, ElementsAre(c.switched, c.con)) << std::hex << c.con;
        EXPECT_EQ(reg(0xF6400050), c.con);
    }
}

TEST_F(TolvexStop, PowerConfigurationMasks) {
    set_reg(0xF0200060, 0xFFFFFFFF);
    pw_cfg_init();
    EXPECT_EQ(reg(0xF0200060), 0xFFFEFFF0u);
    set_reg(0xF0200060, 0);
    pw_cfg_init();
    EXPECT_EQ(reg(0xF0200060), 0x00028380u);
    EXPECT_THAT(render(trace()), ElementsAre("R F0200060 -> FFFFFFFF", "W F0200060 <- FFFEFFF0",
                                             "R F0200060 -> 00000000", "W F0200060 <- 00028380"));
}

TEST_F(TolvexStop, Command6OnlyConfiguresRequestsAndWaits) {
    set_stop_registers(0xAAAAAAAA, 0xAAAAAAAA);
    rGPFCON = 0x11111111;
    rGPGCON = 0x22222222;
    EXPECT_EQ(ioctl(TOLVEX_CMD_PW_STOP_MODE_TEST, 0xDEADBEEFul), 0);
    EXPECT_THAT(body(), ElementsAre("R F0200060 -> FFFFFFFF", "W F0200060 <- FFFEFFF0",
                                    "W F0200040 <- 00010000", "delay 20ms"));
    EXPECT_EQ(rGPFCON, 0x11111111u);
    EXPECT_EQ(rGPGCON, 0x22222222u);
    EXPECT_EQ(reg(0xF020008C), 0xFFFFFFFFu);
    EXPECT_EQ(reg(0xF6400050), 0xAAAAAAAAu);
    EXPECT_EQ(elapsed_us(), 20000u);
    EXPECT_THAT(log_lines(), ElementsAre(kLoadLine, "tolvex_ioctl(6)"));
}

TEST_F(TolvexStop, Command1AfterCommand6RestoresWhatItSaved) {
    set_stop_registers(0x0000E4E4, 0xAAAAAAAA);
    ASSERT_EQ(ioctl(TOLVEX_CMD_PW_STOP_MODE_TEST, 0ul), 0);
    ASSERT_EQ(ioctl(TOLVEX_CMD_PW_STOP_MODE, 0ul), 0);
    EXPECT_EQ(reg(0xF6400050), 0x0000E4E4u);
    EXPECT_EQ(reg(0xF6400060), 0xAAAAAAAAu);
    EXPECT_EQ(reg(0xF020008C), 0xFFFFFFFFu);
}

// ---- touch-screen sample -------------------------------------------------------

class TolvexAdc : public Tolvex {
  protected:
    void SetUp() override {
        Tolvex::SetUp();
        set_reg(kAdcPhys + 0x00, 0x00004C40); // prescaler bits that must survive
        set_reg(kAdcPhys + 0x04, 0xFFFFFFFF);
        set_reg(kAdcPhys + 0x0C, 0x0000ABCD);
        set_reg(kAdcPhys + 0x10, 0xFFFFFFFF);
        add_user_memory(&ts, sizeof ts);
    }
    TSADC_DATA ts{0x12345678, 0x9ABCDEF0};
};

TEST_F(TolvexAdc, ConversionEndedAtFirstPollIsReadAtOnce) {
    set_adc_ready_after_waits(0);
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &ts), 0);
    EXPECT_EQ(ts.xp, 0xBCDu);
    EXPECT_EQ(ts.yp, 0xFFFu);
    EXPECT_THAT(body(), ElementsAre("ioremap 58000000 32 -> C8800000",
                                    "W C8800004 <- 000000DC", //
                                    "R C8800000 -> 00004C40", //
                                    "W C8800000 <- 00004C41", //
                                    "R C8800000 -> 0000CC40", //
                                    "R C880000C -> 0000ABCD", //
                                    "R C8800010 -> FFFFFFFF", //
                                    "to_user 8",              //
                                    "iounmap C8800000"));
    EXPECT_EQ(reg(kAdcPhys + 0x04), 0xDCu);
    // Every call overwrites both fields.
    set_reg(kAdcPhys + 0x0C, 0x00001000);
    set_reg(kAdcPhys + 0x10, 0x00000001);
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &ts), 0);
    EXPECT_EQ(ts.xp, 0u);
    EXPECT_EQ(ts.yp, 1u);
}

TEST_F(TolvexAdc, EachUnsuccessfulPollCostsOne20msWait) {
    set_adc_ready_after_waits(3);
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &ts), 0);
    auto b = body();
    ASSERT_EQ(b.size(), 15u);
    EXPECT_THAT(std::vector<std::string>(b.begin() + 4, b.begin() + 11),
                ElementsAre("R C8800000 -> 00004C40", "delay 20ms", "R C8800000 -> 00004C40",
                            "delay 20ms", "R C8800000 -> 00004C40", "delay 20ms",
                            "R C8800000 -> 0000CC40"));
    EXPECT_EQ(elapsed_us(), 60000u);
    EXPECT_EQ(ts.xp, 0xBCDu);
}

TEST_F(TolvexAdc, WaitIsBoundedAfterFiftyWaits) {
    set_adc_ready_after_waits(50);
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &ts), 0); // ends at the last allowed poll
    EXPECT_EQ(ts.xp, 0xBCDu);

    ts = {0x12345678, 0x9ABCDEF0};
    set_adc_ready_after_waits(-1);
    clear_trace();
    auto t0 = elapsed_us();
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &ts), -ETIMEDOUT);
    EXPECT_EQ(ts.xp, 0x12345678u);
    EXPECT_EQ(ts.yp, 0x9ABCDEF0u);
    auto b = body();
    EXPECT_EQ(b.back(), "iounmap C8800000");
    EXPECT_EQ(std::count(b.begin(), b.end(), "R C8800000 -> 00004C40"), 1 + 51);
    EXPECT_EQ(std::count(b.begin(), b.end(), "delay 20ms"), 50);
    EXPECT_EQ(count(trace(), Ev::CopyToUser), 0);
    EXPECT_EQ(elapsed_us() - t0, 50u * 20000u);
}

TEST_F(TolvexAdc, MappingFailureTouchesNoRegister) {
    set_ioremap_fails(true);
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &ts), -ENOMEM);
    EXPECT_THAT(body(), ElementsAre("ioremap 58000000 32 -> 00000000"));
    EXPECT_EQ(ts.xp, 0x12345678u);
    EXPECT_EQ(ts.yp, 0x9ABCDEF0u);
}

TEST_F(TolvexAdc, UnwritableRecordGetsEFAULTAndTheWindowIsReleased) {
    TSADC_DATA ro{1, 2};
    add_user_memory(&ro, sizeof ro, true, false);
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &ro), -EFAULT);
    EXPECT_EQ(ro.xp, 1u);
    EXPECT_EQ(ro.yp, 2u);
    TSADC_DATA stranger{3, 4};
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, &stranger), -EFAULT);
    EXPECT_EQ(ioctl(TOLVEX_CMD_TS_ADC, 0ul), -EFAULT);
    EXPECT_EQ(stranger.xp, 3u);
    EXPECT_EQ(count(trace(), Ev::Ioremap), count(trace(), Ev::Iounmap));
}

} // namespace
