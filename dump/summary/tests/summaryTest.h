// Shared fixture of the summary tests: a simulated machine with every
// registry value the creation reads, the clock fixed, the redundancy
// manager's call log on; the expected 4372 bytes of a new summary, built
// field by field from the documented offsets; and a fixture that holds a
// created dump open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platdump/dumpErrl.h"
#include "platdump/dumpSummary.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

namespace summarytest {

using testsupport::Bytes;
using testsupport::Json;
using testsupport::keyValue;  // a key/value section as committed

constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC
const std::vector<uint8_t> kClockBcd = {0x20, 0x26, 0x12, 0x05, 0x20, 0x30, 0x15, 0x00};
constexpr uint32_t kVoskTimeWord = 1700000000;  // 2023-11-14 22:13:20 UTC
const std::vector<uint8_t> kVoskTimeBcd = {0x20, 0x23, 0x11, 0x14, 0x22, 0x13, 0x20, 0x00};
const std::vector<uint8_t> kEpochBcd = {0x19, 0x70, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00};
constexpr uint32_t kVoskWord1 = 0x11111111;
constexpr uint32_t kVoskWord2 = 0x22222222;
const std::string kSystemName = "sim-server-03";
const std::string kTypeModelText = "SIMX-T01        0000A1B212345678";
constexpr uint8_t kVoskDumpContent = 0x03;
constexpr char kVoskPath[] = "/registry/dump/VoskInfo";

// What differs between the kinds of dump.
struct Kind {
    DumpSummary::typeOfSummary_t type;
    uint32_t id;
    const char* fileName;     // in /plat_dump
    const char* namePrefix;   // of dumpFileName
    const char* eyeCatcher;
    uint16_t typeCode;
    uint16_t fileHeaderSize;
    uint32_t hardwareLast;
};
const Kind kSys{DumpSummary::SYS, 0x0000001A, "SYSDUMP.0000001A.summary", "SYSDUMP", "SYS DUMP", 15, 208, 0};
const Kind kHwu{DumpSummary::HWU, 0x0100002B, "HWUDUMP.0100002B.summary", "HWUDUMP", "HWU DUMP", 17, 160, 1};
const Kind kRsc{DumpSummary::RSC, 0x00000C3D, "RESDUMP.00000C3D.summary", "RSCDUMP", "RSC DUMP", 0, 208, 0};

inline std::string pathOf(const Kind& k) { return std::string("/plat_dump/") + k.fileName; }

// The variable parts of a new summary; the defaults are the fixture's.
struct Facts {
    std::vector<uint8_t> creationTime = kClockBcd;
    std::string serial = "AB12CD3";  // first 7 bytes, upper-cased
    std::string typeModel = kTypeModelText;
    std::string systemName = kSystemName;
    uint8_t voskDumpContent = kVoskDumpContent;
    std::string voskInfoData = "PAYLOAD8";
    std::vector<uint8_t> voskInfoTime = kVoskTimeBcd;
    std::vector<uint8_t> voskHrmor = {0x80, 0, 0, 0, 0x12, 0x34, 0x56, 0x78};
    uint32_t voskWord1 = kVoskWord1, voskWord2 = kVoskWord2;
};

inline std::string timeDigits(const std::vector<uint8_t>& bcd) {
    std::string s;
    for (size_t i = 0; i < 7; ++i) {
        s += static_cast<char>('0' + (bcd[i] >> 4));
        s += static_cast<char>('0' + (bcd[i] & 0x0F));
    }
    return s;
}

inline Bytes& bytes(Bytes& b, const std::vector<uint8_t>& v) {
    for (uint8_t x : v) b.u8(x);
    return b;
}

// The 4372 bytes of a new summary of kind k, from the documented layout,
// as the creating holder leaves it: its flush has derived totalDumpSize
// and hwDumpTotalSize from the 1024-byte summary section alone.
inline std::vector<uint8_t> expectedSummary(const Kind& k, const Facts& f = Facts()) {
    char id[9];
    std::snprintf(id, sizeof id, "%08X", k.id);
    std::string serial7 = f.serial;
    serial7.resize(7, '\0');
    std::string dumpFileName =
        std::string(k.namePrefix) + "." + serial7 + "." + id + "." + timeDigits(f.creationTime);

    Bytes b;
    // File header: offsets 0-63.
    b.text("FILE    ").u16(64).u16(0).u32(0).u32(0).u16(1).u16(k.typeCode).field(dumpFileName, 40);
    // Section headers at 64, 112, 160.
    struct Section { uint16_t priority; uint32_t last; uint64_t size; const char* name; };
    const Section sections[3] = {{1, 0, 1024, "DUMP SUMMARY"},
                                 {2, k.hardwareLast, 0, "HARDWARE DATA"},
                                 {2, 1, 0, "HYPERVISOR DATA"}};
    for (const Section& s : sections)
        b.text("SECTION ").u16(48).u16(s.priority).u32(0).u32(s.last).u16(2).u16(0).u64(s.size).field(s.name, 16);
    EXPECT_EQ(b.size(), 208u);

    // Summary: offsets 208-1231.
    b.text(k.eyeCatcher);
    bytes(b, f.creationTime);                         // 216
    b.u32(k.id).u16(0x0221).u16(1024).u64(1024);      // 224, 228, 230, 232
    b.field(f.typeModel, 32).field(f.systemName, 32); // 240, 272
    b.field(serial7, 7).u8(1);                        // 304, 311
    b.u32(0).u16(k.fileHeaderSize).u16(0);            // 312, 316, 318
    b.fill(332);                                      // 320 dumpSrc
    b.u32(0).fill(32).fill(32);                       // 652, 656, 688
    b.u16(0).u16(0).u16(0).u8(0).u8(0);               // 720, 722, 724, 726, 727
    b.u64(0).fill(8).fill(8);                         // 728, 736, 744
    b.field(f.voskInfoData, 8).fill(2);               // 752, 760
    b.u8(0).u8(f.voskDumpContent).fill(2);            // 762, 763, 764
    b.u16(0).fill(4).u32(0).u32(1024).u32(0);         // 766, 768, 772, 776, 780
    b.u64(0).u64(0);                                  // 784, 792
    bytes(b, f.voskInfoTime);                         // 800
    b.fill(8).u32(0).u32(0).fill(8);                  // 808, 816, 820, 824
    bytes(b, f.voskHrmor);                            // 832
    b.u32(f.voskWord1).u32(f.voskWord2);              // 840
    b.fill(8).fill(376);                              // 848, 856
    EXPECT_EQ(b.size(), 1232u);

    // File names: everything zero but summaryFileName at 4288.
    b.fill(4288 - 1232).field(pathOf(k), 64).fill(20);
    EXPECT_EQ(b.size(), 4372u);
    return b.bytes();
}

class SummaryTest : public testsupport::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        platsim::setClock(kClock);
        platsim::setRegistry("svpd/Raw_MachineSerialNumber", "ab12cd3x");
        platsim::setRegistry("svpd/Raw_MachineTypeModel", "SIMX-T01");
        platsim::setRegistryU32("smgr/CecIplType", 0x0000A1B2);
        platsim::setRegistryU32("smgr/TovIplType", 0x12345678);
        platsim::setRegistry("fstp/SystemName", kSystemName);
        platsim::setRegistry("menu/VoskDumpContent", std::string(1, static_cast<char>(kVoskDumpContent)));
        platsim::setRegistry("menu/HypMode", std::string(1, '\x01'));
        platsim::setRegistry("mbox/voskHRMOR", std::string("\0\0\0\0\x12\x34\x56\x78", 8));
        setVoskFile(Bytes().u32(kVoskTimeWord).u32(kVoskWord1).u32(kVoskWord2).text("PAYLOAD8"));
        testsupport::startRmgrLog();
    }

    void setVoskFile(const std::vector<uint8_t>& v) {
        platsim::setRegistry("dump/VoskInfo", std::string(v.begin(), v.end()));
    }
    std::vector<uint8_t> primaryBytes(const Kind& k) const { return testsupport::readBytes(primary(pathOf(k))); }
    std::vector<uint8_t> backupBytes(const Kind& k) const { return testsupport::readBytes(backup(pathOf(k))); }
    // The big-endian field of width bytes (at most 4) at offset in k's file here.
    uint32_t fieldOf(const Kind& k, size_t offset, size_t width = 4) const {
        uint32_t v = 0;
        std::vector<uint8_t> bytes = primaryBytes(k);
        for (size_t i = offset; i < offset + width && i < bytes.size(); ++i) v = v << 8 | bytes[i];
        return v;
    }

    // Commits the entry a call returned (which must be there); its record.
    Json committed(ErrlEntry* errl) {
        EXPECT_NE(errl, nullptr);
        if (!errl) return Json();
        dumpCommitAndFreeLog(errl);
        return errlog().back();
    }

    // Creates dump k and expects success.
    void create(const Kind& k) {
        ErrlEntry* errl = nullptr;
        DumpSummary s(k.type, k.id, errl);
        ASSERT_EQ(errl, nullptr) << (errl ? errl->toJson() : "");
    }

    // Another holder of dump k, as another process would have.
    std::unique_ptr<DumpSummary> open(const Kind& k = kSys) {
        ErrlEntry* errl = nullptr;
        std::unique_ptr<DumpSummary> o(new DumpSummary(k.id, errl, k.type));
        EXPECT_EQ(errl, nullptr);
        return o;
    }

    // Bytes written into the summary file of k at offset, behind the
    // library's back.
    void patchFile(const Kind& k, size_t offset, const std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> v = primaryBytes(k);
        if (v.size() < offset + bytes.size()) v.resize(offset + bytes.size());
        std::copy(bytes.begin(), bytes.end(), v.begin() + long(offset));
        testsupport::writeFile(primary(pathOf(k)), std::string(v.begin(), v.end()));
    }

    struct Patch {
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    // Runs change and expects the summary file of k, here and on the
    // backup, to differ from before only by the patches.
    void expectChange(const Kind& k, const std::function<void()>& change, const std::vector<Patch>& patches) {
        std::vector<uint8_t> want = primaryBytes(k);
        for (const Patch& p : patches) {
            if (want.size() < p.offset + p.bytes.size()) want.resize(p.offset + p.bytes.size());
            std::copy(p.bytes.begin(), p.bytes.end(), want.begin() + long(p.offset));
        }
        change();
        EXPECT_EQ(primaryBytes(k), want);
        EXPECT_EQ(backupBytes(k), want);
    }
};

// A summary test whose dump kSys is created and held open as s.
class HeldSummaryTest : public SummaryTest {
protected:
    void SetUp() override {
        SummaryTest::SetUp();
        create(kSys);
        s = open();
    }
    void TearDown() override {
        s.reset();
        SummaryTest::TearDown();
    }
    std::unique_ptr<DumpSummary> s;
};

// Bytes [offset, offset + n) of v.
inline std::vector<uint8_t> slice(const std::vector<uint8_t>& v, size_t offset, size_t n) {
    if (offset + n > v.size()) return {};
    return std::vector<uint8_t>(v.begin() + offset, v.begin() + offset + n);
}

// The library's location word: module id, reason code's low byte, location.
constexpr uint32_t word(uint16_t module, uint16_t reason, uint8_t location) {
    return (static_cast<uint32_t>(module) << 16) | ((reason & 0xFFu) << 8) | location;
}

}  // namespace summarytest
