// A complete system dump for the benchmarks, made through the library on
// the current simulation root: the system nodal section (TOC and data
// file), and main store in regions of the simulated main store named by an
// MDRT, every byte written (no sparse holes), with the plain files that hold
// each piece of its stream, for baselines that read them directly.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "platdump/dumpSummary.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"

namespace benchsupport {

constexpr uint32_t kTocBytes = 4096;
constexpr uint32_t kHeaderAndSummary = 1232;
constexpr uint16_t kCompleteWithMainStore =
    dump::layout::sum::dumpCompleteFlag | dump::layout::sum::mainstoreDumpExistsFlag;

// One piece of a dump's stream as plain files hold it.
struct Piece {
    std::string hostPath;
    uint64_t offset;
    uint64_t length;
};

struct Dump {
    unsigned id;
    std::vector<Piece> pieces;  // in stream order
};

// Writes size bytes of a pattern at offset of path (created when missing).
inline void writePattern(const std::string& path, uint64_t offset, uint64_t size, unsigned seed) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    std::vector<char> chunk(1u << 20);
    for (uint64_t done = 0; done < size; done += chunk.size()) {
        for (size_t i = 0; i < chunk.size(); i += 512) chunk[i] = static_cast<char>(seed + done / 512 + i);
        size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - done));
        if (::pwrite(fd, chunk.data(), n, static_cast<off_t>(offset + done)) != static_cast<ssize_t>(n))
            std::abort();
    }
    ::close(fd);
}

inline void putBe(std::string& s, size_t at, uint64_t v, int width) {
    for (int i = 0; i < width; ++i) s[at + i] = static_cast<char>(v >> (8 * (width - 1 - i)));
}

// A complete system dump: TOC and data file of the system nodal section,
// and an MDRT over regions of regionBytes each, spacing bytes apart from
// main-store address base, every byte written. The caller has sized the
// simulated main store.
inline Dump makeDump(unsigned id, uint64_t dataBytes, unsigned regions, uint64_t regionBytes, uint64_t base,
                     uint64_t spacing) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "/plat_dump/%08X", id);
    std::string toc = std::string(prefix) + ".SysTOC", data = std::string(prefix) + ".SysData";
    std::string mdrt = std::string(prefix) + ".MDRT";
    char summary[64];
    std::snprintf(summary, sizeof summary, "/plat_dump/SYSDUMP.%08X.summary", id);
    writePattern(platsim::hostPath(toc), 0, kTocBytes, id);
    writePattern(platsim::hostPath(data), 0, dataBytes, id + 1);
    Dump d{id, {{platsim::hostPath(summary), 0, kHeaderAndSummary},
                {platsim::hostPath(toc), 0, kTocBytes},
                {platsim::hostPath(data), 0, dataBytes},
                {platsim::hostPath(mdrt), 0, 32ULL * regions}}};

    std::string table(32 * regions, '\0');
    for (unsigned i = 0; i < regions; ++i) {
        uint64_t at = base + i * spacing;
        putBe(table, 32 * i + 8, at, 8);
        putBe(table, 32 * i + 20, regionBytes, 4);
        writePattern(platsim::root() + "/mainstore", at, regionBytes, id + 2 + i);
        d.pieces.push_back({platsim::root() + "/mainstore", at, regionBytes});
    }
    FILE* f = std::fopen(platsim::hostPath(mdrt).c_str(), "wb");
    std::fwrite(table.data(), 1, table.size(), f);
    std::fclose(f);

    ErrlEntry* errl = nullptr;
    {
        DumpSummary s(DumpSummary::SYS, id, errl);
        delete errl;
        errl = nullptr;
        s.SetSYSDATAFileNames(data, toc);
        s.setMDRTFileName(mdrt, static_cast<unsigned>(table.size()));
        s.setDumpFlagsByMask(kCompleteWithMainStore);
    }  // the destructor's flush records the nodal files' sizes
    return d;
}

}  // namespace benchsupport
