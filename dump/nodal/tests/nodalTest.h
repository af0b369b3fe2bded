// Shared support of the nodal section tests: a fixture on a simulated
// machine that can also create a dump summary, an independent reader of a
// section's file pair (documented offsets, big-endian), and deterministic
// item contents.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dump/summary/tests/summaryTest.h"
#include "platdump/dumpNodalSection.h"

namespace nodaltest {

using testsupport::Bytes;
using testsupport::Json;

inline uint32_t be32(const std::vector<uint8_t>& b, size_t off) {
    return uint32_t(b[off]) << 24 | uint32_t(b[off + 1]) << 16 | uint32_t(b[off + 2]) << 8 | b[off + 3];
}
inline uint16_t be16(const std::vector<uint8_t>& b, size_t off) { return uint16_t(b[off] << 8 | b[off + 1]); }

// The 48-byte header from the documented layout.
inline Bytes header(const std::string& name, uint32_t contentCode, uint32_t total, uint16_t index,
                    uint32_t dataSize, uint32_t count, uint16_t entrySize) {
    return std::move(Bytes().field(name, 8).u16(48).u16(2).u32(contentCode).u32(total).u16(0x0210).u16(index)
                         .u32(dataSize).u32(count).u16(entrySize).fill(14));
}

// A pair as found on disk.
struct Pair {
    std::vector<uint8_t> toc, data;
    uint32_t entrySize() const { return be16(toc, 32); }
    uint32_t entryCount() const { return be32(toc, 28); }
    uint32_t word(uint32_t entry, size_t off) const { return be32(toc, 48 + entry * entrySize() + off); }
};

// Item i's bytes: a length of 0 to 299 and a pattern, both from id.
inline std::vector<uint8_t> itemBytes(uint32_t id) {
    uint32_t x = id * 2654435761u + 12345;
    std::vector<uint8_t> b((x >> 7) % 300);
    for (uint8_t& c : b) c = static_cast<uint8_t>((x = x * 1103515245u + 12345) >> 16);
    return b;
}

class NodalTest : public summarytest::SummaryTest {
protected:
    std::string toc = "/plat_dump/n.toc", data = "/plat_dump/n.data";

    Pair pair() const { return {testsupport::readBytes(primary(toc)), testsupport::readBytes(primary(data))}; }
    // Opens the pair in a section of type; a failure fails the test.
    void open(DumpNodalSection& s, unsigned index = 0) {
        ErrlEntry* e = s.createNodalFiles(toc, data, index);
        ASSERT_EQ(e, nullptr) << (e ? e->toJson() : "");
    }
    // Appends a service-processor item of id; returns the writer's result.
    static ErrlEntry* put(DumpNodalSection& s, uint32_t id) {
        std::vector<uint8_t> b = itemBytes(id);
        DumpSpTocEntry entry{id, 0xFFFFFFFF, static_cast<uint32_t>(b.size())};
        return s.writeEntry(entry, reinterpret_cast<char*>(b.data()));
    }

    // Checks a finalised service-processor pair: lengths and header agree,
    // data + TOC length is a multiple of 16, the entries' items lie in the
    // data file in entry order, each its item's bytes, with nothing between
    // or after them but the padding of a finalisation (0 to 15 zero bytes).
    // Returns the entries' ids.
    std::vector<uint32_t> checkConsistent(const Pair& p) const {
        std::vector<uint32_t> ids;
        if (p.toc.size() < 48 || p.toc.size() != 48u + p.entrySize() * p.entryCount()) {
            ADD_FAILURE() << "TOC of " << p.toc.size() << " bytes";
            return ids;
        }
        EXPECT_EQ(be32(p.toc, 24), p.data.size());
        EXPECT_EQ(be32(p.toc, 16), p.toc.size() + p.data.size());
        EXPECT_EQ((p.toc.size() + p.data.size()) % 16, 0u);
        size_t end = 0;  // of the previous item
        auto padding = [&](size_t to) {
            return to >= end && to - end < 16 && to <= p.data.size() &&
                   std::all_of(p.data.begin() + end, p.data.begin() + to, [](uint8_t b) { return b == 0; });
        };
        for (uint32_t i = 0; i < p.entryCount(); ++i) {
            uint32_t id = p.word(i, 0), offset = p.word(i, 4), size = p.word(i, 8);
            std::vector<uint8_t> item = itemBytes(id);
            ids.push_back(id);
            bool ok = padding(offset) && size == item.size() && uint64_t(offset) + size <= p.data.size() &&
                      std::equal(item.begin(), item.end(), p.data.begin() + offset);
            EXPECT_TRUE(ok) << "entry " << i << " (id " << id << ") at " << offset << " after " << end;
            if (!ok) return ids;
            end = offset + size;
        }
        EXPECT_TRUE(padding(p.data.size())) << "data of " << p.data.size() << " bytes, items end at " << end;
        return ids;
    }
};

}  // namespace nodaltest
