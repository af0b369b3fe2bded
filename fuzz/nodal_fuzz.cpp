// Fuzzer of a nodal section's file pair, the crash repair: the input is a
// TOC file and a data file as an interrupted writer may have left them,
// reopened through DumpNodalSection, optionally given one more item, and
// finalised by the destructor. Whenever the header describes the section's
// kind, the finalised pair must be consistent (the TOC holds exactly the
// entries its header counts, the data file is as long as the header says,
// both together a multiple of 16, the total size their sum), and a second
// reopening and finalisation must leave it byte for byte as it was.
//
// Input: one mode byte (bits 0-1: the section type, 0 being none of the
// three; bit 2: write an item; bit 3: finalise a second time), the TOC
// length as a big-endian u16, the TOC bytes, then the data bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz/fuzzRoot.h"
#include "platdump/platdump.h"
#include "platform/bigEndian.h"
#include "platform/orlaDataBuffer.h"

namespace {

using namespace fuzzsupport;

constexpr uint32_t kHeaderSize = 48;
constexpr uint32_t kAlignment = 16;
constexpr uint8_t kTypeBits = 0x3, kWriteItem = 0x4, kFinaliseTwice = 0x8;
const char kTocName[] = "/plat_dump/0000001A.FuzzTOC";
const char kDataName[] = "/plat_dump/0000001A.FuzzData";

uint16_t kindEntrySize(int type) { return type == DumpNodalSection::HWDATA ? 28 : 12; }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

[[noreturn]] void inconsistent(const char* what, uint64_t got, uint64_t expected) {
    std::fprintf(stderr, "finalised pair inconsistent: %s is %llu, expected %llu\n", what,
                 static_cast<unsigned long long>(got), static_cast<unsigned long long>(expected));
    std::abort();
}

void expectEqual(const char* what, uint64_t got, uint64_t expected) {
    if (got != expected) inconsistent(what, got, expected);
}

void reopenAndFinalise(DumpNodalSection::DumpNodalType_t type, bool writeItem) {
    DumpNodalSection section(type, nullptr);
    std::string toc = kTocName, data = kDataName;
    if (ErrlEntry* e = section.createNodalFiles(toc, data, 7)) {
        delete e;
        return;
    }
    if (!writeItem) return;
    if (type == DumpNodalSection::HWDATA) {
        orlaDataBuffer bits(13);
        bits.setByte(0, 0xA5);
        DumpHwTocEntry entry{1, 2, 3, 4, 0, 0, 0};
        delete section.writeEntry(entry, bits);
    } else {
        char item[] = "fuzz item";
        DumpSpTocEntry entry{0xF2000001, 0, sizeof item};
        delete section.writeEntry(entry, item);
    }
}

void checkFinalised(const std::string& toc, const std::string& data) {
    const uint8_t* h = reinterpret_cast<const uint8_t*>(toc.data());
    expectEqual("the TOC file's length", toc.size(),
                kHeaderSize + uint64_t(be::getU16(h, 32)) * be::getU32(h, 28));
    expectEqual("the data file's length", data.size(), be::getU32(h, 24));
    expectEqual("TOC and data length modulo 16", (toc.size() + data.size()) % kAlignment, 0);
    expectEqual("totalSize", be::getU32(h, 16), toc.size() + data.size());
}

}  // namespace

// One setup a process: the root, its logs to /dev/null.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discardLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    static const std::string tocPath = hostPath(kTocName), dataPath = hostPath(kDataName);
    if (size < 3) return 0;
    const uint8_t mode = input[0];
    const size_t tocLength = std::min<size_t>(be::getU16(input, 1), size - 3);
    writeWhole(tocPath, input + 3, tocLength);
    writeWhole(dataPath, input + 3 + tocLength, size - 3 - tocLength);

    auto type = static_cast<DumpNodalSection::DumpNodalType_t>(mode & kTypeBits);
    // A TOC shorter than a header gets a fresh one; a longer one is
    // continued with its own.
    const uint8_t* header = input + 3;
    bool describesKind = type != 0 && (tocLength < kHeaderSize || (be::getU16(header, 8) == kHeaderSize &&
                                                                    be::getU16(header, 32) == kindEntrySize(type)));
    reopenAndFinalise(type, mode & kWriteItem);
    if (describesKind) {
        std::string toc = readFile(tocPath), data = readFile(dataPath);
        checkFinalised(toc, data);
        if (mode & kFinaliseTwice) {
            reopenAndFinalise(type, false);
            if (readFile(tocPath) != toc || readFile(dataPath) != data) {
                std::fprintf(stderr, "a second finalisation changed the pair\n");
                std::abort();
            }
        }
    }
    return 0;
}
