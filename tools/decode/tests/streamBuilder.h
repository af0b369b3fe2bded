// Synthetic offload streams for the decoder's and the tool's tests, built
// field by field from the documented layouts with testsupport::Bytes (never
// with the decoder's own code): the dump file header, the summary section,
// the nodal sections of each node group and of the system, the MDRT and its
// main-store regions, with every derived size computed here. The result
// says where each part starts, so a test can damage it precisely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "tests/common/simTest.h"

namespace streamfixture {

// One item of a nodal section. HWDATA: words are hwWord0 to hwWord4 and
// spareBits goes to bits 20-22 of hwWord4. SPDATA and SYSDATA: words[0] is
// the entryId.
struct Item {
    std::vector<uint32_t> words;
    std::vector<uint8_t> data;
    unsigned spareBits = 0;
};

struct Nodal {
    uint16_t index = 0;
    uint32_t contentCode = 0;
    std::vector<Item> items;
};

struct Region {
    uint64_t address;
    uint32_t length;
    uint8_t fill;
};

enum class Kind { System, HardwareUnit };

struct Recipe {
    Kind kind = Kind::System;
    uint32_t id = 0x1A;
    uint16_t dumpFlags = 0;
    std::vector<std::pair<Nodal, Nodal>> groups;  // HWDATA, SPDATA
    std::optional<Nodal> system;
    std::vector<Region> regions;  // listed by the MDRT
};

// Where one nodal section lies in the stream.
struct NodalAt {
    size_t toc;
    size_t data;
    size_t dataLength;            // dataFileSize, pad included
    std::vector<size_t> entries;  // stream offset of each TOC entry
};

struct Built {
    std::vector<uint8_t> bytes;
    std::vector<NodalAt> nodal;  // in stream order
    size_t mdrt = 0;              // where the hardware data ends
    std::vector<size_t> regions;  // stream offset of each region
};

// A complete system dump: two node groups (HWDATA with two and one items,
// SPDATA with one and none), a system section of two items, an MDRT of
// three main-store regions; dumpFlags complete, main store present and
// collected, and the unnamed bit 0x0080.
Recipe systemDump();
// A complete hardware-unit dump: one node group and a system section.
Recipe hardwareUnitDump();

Built build(const Recipe& recipe);

// Bytes written over a built stream at offset, e.g. Bytes().u32(1000).
void patch(std::vector<uint8_t>& bytes, size_t offset, const testsupport::Bytes& value);

}  // namespace streamfixture
