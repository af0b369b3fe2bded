// Shared support of the library's tests: a log as one line (its
// signature), the simulated machine a dump is created on, and dumps made
// as collectors leave them. Every DumpTest case runs on a fresh root.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platdump/dumpExtractData.h"
#include "platdump/dumpNodalSection.h"
#include "platdump/dumpSummary.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

namespace testsupport {

// An error log as one line, each part separated by a space, numbers in hex:
// each SRC (the library's: its four words, the location word first, which
// names the reason code's low byte; another component's: "platform:" and its
// reason code), rc= and sev=, each call point as cp=module:location:word,
// each of the library's user-data sections (a key/value section as
// kv=key:?:value, another as its type=hex), each trace as tr=buffer.
// Example: "0B0F0B13 2 0 0 rc=2 sev=40 cp=030F:4:0 kv=Open existing file:?:/x tr=dump".
std::string signature(const Json& entry);
// The signature of an entry a call returned, which is then deleted; "" for none.
std::string signature(ErrlEntry* entry);

// A number, and bytes, as the signatures print them.
std::string hex(uint64_t value);
std::string hexOf(const std::vector<uint8_t>& bytes);

// The machine every DumpTest starts on.
constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC
const std::vector<uint8_t> kClockBcd = {0x20, 0x26, 0x12, 0x05, 0x20, 0x30, 0x15, 0x00};
constexpr uint32_t kVoskTime = 1700000000;  // 2023-11-14 22:13:20 UTC
const std::vector<uint8_t> kVoskTimeBcd = {0x20, 0x23, 0x11, 0x14, 0x22, 0x13, 0x20, 0x00};
constexpr uint32_t kVoskWord1 = 0x11111111, kVoskWord2 = 0x22222222;
constexpr uint8_t kVoskDumpContent = 0x03;
const std::string kTypeModel = "QX42-ZZT";
const std::string kTypeModelText = kTypeModel + "        0000A1B212345678";  // with the IPL types
const std::string kSystemName = "bench-rack-7-node-3";
const std::string kSerial = "AB12CD3";  // read as "ab12cd3x"

// A dump's kind and id; its summary file is named after both.
struct Kind { DumpSummary::typeOfSummary_t type; uint32_t id; };
const Kind kSys{DumpSummary::SYS, 0x0000001A}, kHwu{DumpSummary::HWU, 0x0100002B},
    kRsc{DumpSummary::RSC, 0x00000C3D};
std::string hex8(uint32_t id);
std::string summaryPath(const Kind& k);
// "/plat_dump/<id>.<suffix>", where made dumps keep their files.
std::string dumpFile(const Kind& k, const std::string& suffix);
inline uint16_t fileHeaderSize(const Kind& k) { return k.type == DumpSummary::HWU ? 160 : 208; }

// One main-store region: where, and how many bytes.
struct Region { uint64_t address; uint32_t length; };
// The 32-byte MDRT entries of regions (address at 8, length at 20), then pad bytes.
std::string mdrtOf(const std::vector<Region>& regions, size_t pad = 0);

// What a made dump holds besides its summary: hwPairs recorded hardware
// file pairs (<id>.HwData<i>, <id>.HwToc<i>), its system files (always
// named, with these bytes), an MDRT over regions of main store (each
// filled with a pattern), private flags, and a status-log line.
struct Parts {
    unsigned hwPairs = 0;
    std::vector<Region> regions;
    std::string sysToc, sysData;
    uint32_t privateFlags = 0;
    bool statusLog = false;

    Parts& pairs(unsigned n) { return hwPairs = n, *this; }
    Parts& mainStore(const std::vector<Region>& r) { return regions = r, *this; }
    Parts& sys(const std::string& toc, const std::string& data) { return sysToc = toc, sysData = data, *this; }
    Parts& privately(uint32_t flags) { return privateFlags = flags, *this; }
    Parts& logged() { return statusLog = true, *this; }
};

// What one ExtractDump call gave back: the signature of its log ("":
// none), the length it left, and that many bytes of the buffer.
struct Extracted { std::string log; uint32_t length = 0; std::string bytes; };

// One line of a failure table: the condition (made by arrange), the call
// (act; what it returns), the signatures of the log it returns ("": none)
// and of the logs committed meanwhile ('*' stands for any one character),
// and what else it left (check).
struct FailureRow {
    std::string condition;
    std::function<void()> arrange;
    std::function<ErrlEntry*()> act;
    std::string returned;
    std::vector<std::string> committed;
    std::function<void()> check = nullptr;
};
// Arranges a fault (platsim::setFault).
std::function<void()> fault(const std::string& name, const std::string& params = "");

// A test ends with no committed log it has not looked at (through newLogs,
// or as a row of expectRows): TearDown fails it otherwise.
class DumpTest : public SimTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Runs each row on a fresh root of its own.
    void expectRows(const std::vector<FailureRow>& rows);
    // The signatures of the logs committed since the last look.
    std::vector<std::string> newLogs();

    void create(const Kind& k);  // expects success
    std::unique_ptr<DumpSummary> open(const Kind& k);  // expects success
    // Makes dump k with flags set and parts recorded; every file it names.
    std::vector<std::string> makeDump(const Kind& k, uint16_t flags, const Parts& parts = Parts());

    // The entries of /plat_dump on one side, sorted (the C locale's order).
    std::vector<std::string> listing(bool onBackup = false) const;
    std::vector<uint8_t> bytesOf(const Kind& k, bool onBackup = false) const;
    // The big-endian field of width bytes (at most 4) at offset in k's summary file.
    uint32_t fieldOf(const Kind& k, size_t offset, size_t width = 4) const;
    // Bytes written into k's summary file at offset, behind the library's back.
    void patch(const Kind& k, size_t offset, const std::vector<uint8_t>& bytes);
    void setVoskFile(const std::vector<uint8_t>& bytes);
    // Main store [address, address + length) as the simulation holds it.
    std::string mainStore(uint64_t address, uint32_t length) const;
    // The system state record (state at byte 0, main-store word at 28; cut
    // to recordBytes when not 0) and the operating mode, in the registry.
    void setSystem(uint32_t state, uint8_t mode, uint32_t mainStoreWord = 0, size_t recordBytes = 0);
    // One ExtractDump call with the fixture's extraction object and handle:
    // the entry it returned; iv_last gets the length and bytes it left.
    ErrlEntry* extractCall(uint32_t id, uint64_t offset, uint32_t length, bool withMainStore = true);
    // The same, its log as a signature.
    Extracted extract(uint32_t id, uint64_t offset, uint32_t length, bool withMainStore = true);

    size_t iv_logsSeen = 0;
    std::unique_ptr<DumpExtractData> iv_extract;
    dumpDMAEhandle iv_handle = {};
    Extracted iv_last;
};

// Bytes written into v at offset, v grown to hold them.
struct Patch { size_t offset; std::vector<uint8_t> bytes; };
void apply(std::vector<uint8_t>& v, const std::vector<Patch>& patches);

// A DumpTest whose dump kSys is created and held open as s.
class HeldDumpTest : public DumpTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs change and expects kSys's summary file, here and on the backup,
    // to differ from before only by the patches.
    void expectChange(const std::function<void()>& change, const std::vector<Patch>& patches);

    std::unique_ptr<DumpSummary> s;
};

// A nodal section's file pair as found on disk (big-endian, the 48-byte
// header's documented offsets), and its entries.
struct NodalPair {
    std::vector<uint8_t> toc, data;
    uint32_t entrySize() const;
    uint32_t entryCount() const;
    uint32_t word(uint32_t entry, size_t offset) const;  // of an entry
};
uint32_t be32(const std::vector<uint8_t>& b, size_t offset);
// The 48-byte header from the documented layout.
Bytes nodalHeader(const std::string& name, uint32_t contentCode, uint32_t total, uint16_t index, uint32_t dataSize,
                  uint32_t count, uint16_t entrySize);
// Item id's bytes: a length of 0 to 299 and a pattern, both from id.
std::vector<uint8_t> itemBytes(uint32_t id);
// Appends service-processor item id (itemBytes) to a section; the writer's result.
ErrlEntry* putItem(DumpNodalSection& s, uint32_t id);
NodalPair readPair(const std::string& tocPath, const std::string& dataPath);  // on this side
// Checks a finalised service-processor pair made of itemBytes items:
// lengths and header agree, data + TOC length is a multiple of 16, the
// entries' items lie in the data file in entry order, each its item's
// bytes, with nothing between or after them but the padding of a
// finalisation (0 to 15 zero bytes). Returns the entries' ids.
std::vector<uint32_t> checkConsistent(const NodalPair& p);

// Bytes [offset, offset + n) of v (empty when v is shorter).
std::vector<uint8_t> slice(const std::vector<uint8_t>& v, size_t offset, size_t n);

}  // namespace testsupport
