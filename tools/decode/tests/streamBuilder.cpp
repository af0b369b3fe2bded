#include "streamBuilder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "tests/common/dumpTest.h"

namespace streamfixture {

using testsupport::Bytes;

namespace {

// BCD times, written as one big-endian word: 2026-12-05 20:30:15.00 is 0x2026120520301500.
constexpr uint64_t kCreated = 0x2026120520301500, kHwStart = 0x2026120520310050, kHwEnd = 0x2026120520425999;
constexpr uint64_t kMsStart = 0x2026120520430000, kMsEnd = 0x2026120521020304;

void append(Bytes& to, const Bytes& from) { to.text(std::string(from.bytes().begin(), from.bytes().end())); }

std::vector<uint8_t> pattern(size_t length, uint8_t seed) {
    std::vector<uint8_t> v(length);
    for (size_t i = 0; i < length; ++i) v[i] = static_cast<uint8_t>(seed + i);
    return v;
}

// A TOC file and its data file, finalised: items back to back, then the
// zero bytes that make both files together a multiple of 16.
Bytes nodal(const char* name, bool hardware, const Nodal& n, size_t at, NodalAt& where) {
    const size_t entrySize = hardware ? 28 : 12;
    const size_t tocLength = 48 + entrySize * n.items.size();
    size_t items = 0;
    for (const Item& i : n.items) items += i.data.size();
    const size_t pad = (16 - (tocLength + items) % 16) % 16;
    const uint32_t dataFileSize = static_cast<uint32_t>(items + pad);

    Bytes b = testsupport::nodalHeader(name, n.contentCode, static_cast<uint32_t>(tocLength + dataFileSize), n.index,
                                       dataFileSize, static_cast<uint32_t>(n.items.size()),
                                       static_cast<uint16_t>(entrySize));
    where = NodalAt{at, at + tocLength, dataFileSize, {}};
    uint32_t offset = 0;
    for (const Item& i : n.items) {
        where.entries.push_back(at + b.size());
        uint32_t size = static_cast<uint32_t>(i.data.size());
        if (hardware)
            b.u32(i.words.at(0)).u32(i.words.at(1)).u32(i.words.at(2)).u32(i.words.at(3)).u32(offset)
                .u32((i.words.at(4) & ~0x00700000u) | (i.spareBits << 20)).u32(size);
        else
            b.u32(i.words.at(0)).u32(offset).u32(size);
        offset += size;
    }
    for (const Item& i : n.items)
        for (uint8_t byte : i.data) b.u8(byte);
    return b.fill(pad);
}

Bytes sectionHeader(const char* name, uint16_t priority, uint32_t last, uint64_t size) {
    return Bytes().text("SECTION ").u16(48).u16(priority).u32(0).u32(last).u16(2).u16(0).u64(size).field(name, 16);
}

struct Sizes {
    uint64_t hardwareSection, nodalData, mdrt, memory;
};

Bytes summary(const Recipe& recipe, const Sizes& z, size_t headerSize) {
    const bool hwu = recipe.kind == Kind::HardwareUnit;
    const uint32_t hwDumpTotal = static_cast<uint32_t>(1024 + z.hardwareSection);
    Bytes b;
    b.text(hwu ? "HWU DUMP" : "SYS DUMP");
    b.u64(kCreated).u32(recipe.id).u16(0x0221).u16(1024).u64(hwDumpTotal + z.mdrt + z.memory);
    b.text("SIMXT01A").fill(8, ' ').text("0000000A").text("0000000B");
    b.field("sim-server-02", 32).field("ABC1234", 7).u8(1).u32(0x50001234);
    b.u16(static_cast<uint16_t>(headerSize)).u16(4).u8(0xB1).u8(0x81).u8(0x23).u8(0x45).fill(328);
    b.u32(3).field("offload-app", 32).field("service", 32);
    b.u16(recipe.dumpFlags).u16(0x0001).u16(0).u8(7).u8(0).u64(0x10);
    b.u64(kMsStart).u64(kMsEnd);
    b.text("DEADBEEF").fill(2).u8(1).u8(0xFF).fill(2).u16(static_cast<uint16_t>(recipe.groups.size())).fill(4);
    b.u32(static_cast<uint32_t>(z.nodalData)).u32(hwDumpTotal).u32(static_cast<uint32_t>(z.mdrt));
    b.u64(0x0000000012340000).u64(z.memory);
    b.fill(8);  // voskInfoTime unset
    b.u64(kHwEnd).u32(0x400).u32(0x00020003).fill(8);
    b.u64(0x8000000004000000).u64(0x0000000100000002);
    b.u64(kHwStart).fill(376);
    if (b.size() != 1024) throw std::logic_error("summary section is not 1024 bytes");
    return b;
}

}  // namespace

Recipe systemDump() {
    Recipe s;
    s.dumpFlags = 0x8000 | 0x2000 | 0x0200 | 0x0080;
    Nodal hw0{0, 2, {{{0x11, 0x12, 0x13, 0x14, 0x80000000}, pattern(20, 0x40), 3}, {{0x21, 0x22, 0x23, 0x24, 0}, pattern(9, 0x60), 0}}};
    Nodal sp0{0, 0, {{{0xF0090000}, pattern(10, 0x70), 0}}};
    Nodal hw1{1, 2, {{{0x31, 0x32, 0x33, 0x34, 0}, pattern(33, 0x80), 7}}};
    Nodal sp1{1, 0, {}};
    s.groups = {{hw0, sp0}, {hw1, sp1}};
    s.system = Nodal{0, 1, {{{0xF0090000}, pattern(12, 0x90), 0}, {{0xF00A0000}, pattern(5, 0xA0), 0}}};
    s.regions = {{0x0000000100000000, 64, 0xAA}, {0x0000000200001000, 100, 0xBB}, {0x0000000300000000, 36, 0xCC}};
    return s;
}

Recipe hardwareUnitDump() {
    Recipe s;
    s.kind = Kind::HardwareUnit;
    s.id = 0x0100001B;
    s.dumpFlags = 0x8000 | 0x4000;
    s.groups = {{Nodal{2, 0, {{{1, 2, 3, 4, 5}, pattern(16, 0x10), 0}}}, Nodal{2, 0, {{{0xF00A0000}, pattern(3, 0x20), 0}}}}};
    s.system = Nodal{0, 1, {}};
    return s;
}

Built build(const Recipe& recipe) {
    const bool hwu = recipe.kind == Kind::HardwareUnit;
    const size_t headerSize = hwu ? 160 : 208;
    Built out;

    Bytes hardware;
    Sizes z{0, 0, 32 * recipe.regions.size(), 0};
    auto add = [&](const char* name, bool isHw, const Nodal& n) {
        NodalAt at;
        append(hardware, nodal(name, isHw, n, headerSize + 1024 + hardware.size(), at));
        z.nodalData += at.dataLength;
        out.nodal.push_back(at);
    };
    for (const auto& g : recipe.groups) {
        add("HWDATA", true, g.first);
        add("SPDATA", false, g.second);
    }
    if (recipe.system) add("SYSDATA", false, *recipe.system);
    z.hardwareSection = hardware.size();
    for (const Region& r : recipe.regions) z.memory += r.length;

    char name[48];
    std::snprintf(name, sizeof name, "%s.ABC1234.%08X.20261205203015", hwu ? "HWUDUMP" : "SYSDUMP", recipe.id);
    Bytes header;
    header.text("FILE    ").u16(64).u16(0).u32(0).u32(0).u16(1).u16(hwu ? 17 : 15).field(name, 40);
    append(header, sectionHeader("DUMP SUMMARY", 1, 0, 1024));
    append(header, sectionHeader("HARDWARE DATA", 2, hwu ? 1 : 0, z.hardwareSection));
    if (!hwu) append(header, sectionHeader("HYPERVISOR DATA", 2, 1, z.mdrt + z.memory));
    append(header, summary(recipe, z, headerSize));
    append(header, hardware);
    out.mdrt = header.size();
    for (const Region& r : recipe.regions) header.text("MSREGION").u64(r.address).u32(0).u32(r.length).u64(0);
    for (const Region& r : recipe.regions) {
        out.regions.push_back(header.size());
        header.fill(r.length, r.fill);
    }
    out.bytes = header.bytes();
    return out;
}

void patch(std::vector<uint8_t>& bytes, size_t offset, const Bytes& value) {
    std::copy(value.bytes().begin(), value.bytes().end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace streamfixture
