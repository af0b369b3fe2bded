// Shared fixture of the extraction tests: the summary tests' simulated
// machine, plus dumps laid out the way collectors leave them (system nodal
// files, an MDRT over regions of the simulated main store), the system
// state and operating mode in the registry, and ExtractDump calls whose
// entries come back as their committed records.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "dump/summary/tests/summaryTest.h"
#include "platdump/dumpExtractData.h"
#include "platdump/dumpSummary.h"

namespace extracttest {

using summarytest::Kind;
using testsupport::Bytes;
using testsupport::Json;

// dumpFlags bits and summary-file offsets the tests look at.
constexpr uint16_t kComplete = 0x8000;
constexpr uint16_t kMainStore = 0x2000;
constexpr uint16_t kIplRequested = 0x0020;
constexpr uint16_t kWithdraw = 0x0004;
constexpr size_t kDumpFlagsAt = 720;
constexpr size_t kTceErrorsAt = 4352;
constexpr size_t kDmaErrorsAt = 4356;

// One main-store region of a dump: where, and how many bytes.
struct Region {
    uint64_t address;
    uint32_t length;
};

// What one ExtractDump call gave back.
struct Extracted {
    bool failed = false;
    Json entry;             // the returned entry's record, when failed
    uint32_t length = 0;    // length as the call left it
    std::string bytes;      // the first length bytes of the buffer
};

class ExtractTest : public summarytest::SummaryTest {
protected:
    // Kind base under another id (for several dumps in one test).
    Kind withId(const Kind& base, uint32_t id) {
        char name[40];
        std::snprintf(name, sizeof name, "%.8s%08X.summary", base.fileName, id);
        iv_names.push_back(name);
        Kind k = base;
        k.id = id;
        k.fileName = iv_names.back().c_str();
        return k;
    }

    // System state record (code at byte 0, main-store word at 28) and
    // operating mode.
    // recordBytes: the state record cut to that many bytes (0: whole).
    void setSystem(uint32_t state, uint8_t mode, uint32_t mainStoreWord = 0, size_t recordBytes = 0) {
        Bytes record;
        record.u32(state).fill(24).u32(mainStoreWord).fill(24);
        std::string bytes(record.bytes().begin(), record.bytes().end());
        platsim::setRegistry("smgr/StateData", recordBytes ? bytes.substr(0, recordBytes) : bytes);
        platsim::setRegistry("iplp/SysOpMode", std::string(1, static_cast<char>(mode)));
    }

    // The 32-byte MDRT entries of regions (address at 8, length at 20),
    // followed by pad bytes.
    static std::string mdrtOf(const std::vector<Region>& regions, size_t pad = 0) {
        Bytes b;
        for (const Region& r : regions) b.u64(0xAAAAAAAAAAAAAAAAULL).u64(r.address).u32(0xBBBBBBBB).u32(r.length).u64(0xCCCCCCCCCCCCCCCCULL);
        b.fill(pad, 0xDD);
        return std::string(b.bytes().begin(), b.bytes().end());
    }

    // A dump of kind k with flags and private flags, its system nodal files
    // holding sysToc and sysData, and, when regions are given, an MDRT file
    // over them with each region filled with a pattern. Returns the MDRT
    // file's service-processor path.
    std::string makeDump(const Kind& k, uint16_t flags, const std::vector<Region>& regions = {},
                         uint32_t privateFlags = 0, const std::string& sysToc = "",
                         const std::string& sysData = "") {
        create(k);
        std::string toc = nodalPath(k, "SysTOC"), data = nodalPath(k, "SysData");
        std::string mdrt = nodalPath(k, "MDRT");
        testsupport::writeFile(primary(toc), sysToc);
        testsupport::writeFile(primary(data), sysData);
        auto s = open(k);
        s->SetSYSDATAFileNames(data, toc);
        if (!regions.empty()) {
            std::string table = mdrtOf(regions);
            testsupport::writeFile(primary(mdrt), table);
            s->setMDRTFileName(mdrt, static_cast<unsigned>(table.size()));
            for (const Region& r : regions) {
                std::string fill(r.length, '\0');
                for (uint32_t i = 0; i < r.length; ++i) fill[i] = static_cast<char>((r.address + i) * 13 + 7);
                platsim::writeMainStore(r.address, fill);
            }
        }
        s->setDumpFlagsByMask(flags);
        if (privateFlags) s->SetPrivateFlagsByMask(privateFlags);
        return mdrt;
    }

    // "/plat_dump/<id>.<suffix>", where the fixture keeps a dump's files.
    static std::string nodalPath(const Kind& k, const char* suffix) {
        char path[64];
        std::snprintf(path, sizeof path, "/plat_dump/%08X.%s", k.id, suffix);
        return path;
    }

    // Main store [address, address + length), read from the simulation's file.
    std::string mainStore(uint64_t address, uint32_t length) const {
        std::string out(length, '\0');
        int fd = ::open((root() + "/mainstore").c_str(), O_RDONLY);
        ssize_t got = ::pread(fd, &out[0], length, static_cast<off_t>(address));
        ::close(fd);
        EXPECT_EQ(got, static_cast<ssize_t>(length));
        return out;
    }

    Extracted extract(uint32_t id, uint64_t offset, uint32_t length, bool mainStore = true) {
        Extracted x;
        std::string buffer(length, '\0');
        x.length = length;
        x.entry = testsupport::taken(iv_extract.ExtractDump(id, offset, x.length, &buffer[0], mainStore, &iv_handle));
        x.failed = !x.entry.is_null();
        x.bytes = buffer.substr(0, x.length);
        return x;
    }

    uint16_t dumpFlags(const Kind& k) const { return static_cast<uint16_t>(fieldOf(k, kDumpFlagsAt, 2)); }

    DumpExtractData iv_extract;
    dumpDMAEhandle iv_handle = {};
    std::deque<std::string> iv_names;
};

// Whether entry has the call point (module, location, word).
inline bool hasCallPoint(const Json& entry, uint16_t module, uint8_t location, uint32_t word) {
    for (const Json& p : entry.at("callPoints"))
        if (p["function"] == (module & 0xFF00) && p["file"] == (module & 0xFF) &&
            p["location"] == location && p["word"] == word)
            return true;
    return false;
}

}  // namespace extracttest
