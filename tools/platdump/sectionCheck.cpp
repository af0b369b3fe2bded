// section-inconsistent: what the library's finalisation of a nodal section
// would change in its TOC/data pair. Completion reopens every section the
// summary names (a TOC shorter than a header gets a fresh one) and
// finalises it: a pair whose header does not fit its files has the
// TOC cut to whole entries and the entries whose items run past the data
// file dropped from the end, the data file cut where the last item ends;
// then the data file is padded to a multiple of 16 with the TOC and the
// final header written. The rules are the finaliser's own
// (dump/nodal/nodalRepairRules.h); here they are applied to the bytes read.
#include <algorithm>
#include <optional>

#include "checks.h"
#include "decode/findings.h"
#include "decode/nodalFile.h"
#include "dump/nodal/nodalRepairRules.h"
#include "platform/bigEndian.h"
#include "platformSource.h"

namespace platdump {
namespace check {

namespace {

using namespace decode;
namespace repair = dump::nodal::repair;

constexpr size_t kReservedHeaderBytes = 34;  // bytes 34 to 47, zero in a header written
constexpr uint32_t kEntriesPerRead = 4096;

struct SectionKindFacts {
    FileRole toc, data;
    const char* name;
    uint16_t entrySize;
    size_t dataOffsetAt, dataSizeAt;
};
const SectionKindFacts kKinds[] = {
    {FileRole::HwToc, FileRole::HwData, "HWDATA", hwentry::kLength, hwentry::kDataOffset, hwentry::kDataSize},
    {FileRole::SpToc, FileRole::SpData, "SPDATA", spentry::kLength, spentry::kDataOffset, spentry::kDataSize},
    {FileRole::SysToc, FileRole::SysData, "SYSDATA", spentry::kLength, spentry::kDataOffset, spentry::kDataSize},
};

// Where the entries' items end, read from the TOC a chunk at a time.
class ItemEnds {
public:
    // Entries of entrySize bytes (the header's, at least the kind's), the
    // item's offset and size where the kind keeps them.
    ItemEnds(const StreamSource& toc, const SectionKindFacts& kind, uint16_t entrySize)
        : iv_toc(toc), iv_kind(kind), iv_entrySize(entrySize) {}
    // The end (data offset + size) of entry i's item; none when the TOC
    // cannot be read.
    std::optional<uint64_t> at(uint32_t i) {
        if (i < iv_first || i >= iv_first + iv_count) {
            iv_first = i >= kEntriesPerRead ? i - (kEntriesPerRead - 1) : 0;
            iv_count = i - iv_first + 1;
            iv_bytes.assign(size_t(iv_count) * iv_entrySize, 0);
            if (!iv_toc.read(repair::tocLength(iv_entrySize, iv_first), iv_bytes.size(), iv_bytes.data())) {
                iv_count = 0;
                return std::nullopt;
            }
        }
        const uint8_t* entry = iv_bytes.data() + size_t(i - iv_first) * iv_entrySize;
        return uint64_t(be::getU32(entry, iv_kind.dataOffsetAt)) + be::getU32(entry, iv_kind.dataSizeAt);
    }

private:
    const StreamSource& iv_toc;
    const SectionKindFacts& iv_kind;
    const uint16_t iv_entrySize;
    uint32_t iv_first = 0, iv_count = 0;
    std::vector<uint8_t> iv_bytes;
};

struct Header {
    uint16_t headerSize = 0, entrySize = 0;
    uint32_t totalSize = 0, dataFileSize = 0, entryCount = 0;
    bool reservedSet = false;
};

Header decodeHeader(const uint8_t* p) {
    Header h;
    h.headerSize = be::getU16(p, toc::kHeaderSize);
    h.entrySize = be::getU16(p, toc::kEntrySize);
    h.totalSize = be::getU32(p, toc::kTotalSize);
    h.dataFileSize = be::getU32(p, toc::kDataFileSize);
    h.entryCount = be::getU32(p, toc::kEntryCount);
    h.reservedSet = std::any_of(p + kReservedHeaderBytes, p + toc::kHeaderLength, [](uint8_t b) { return b != 0; });
    return h;
}

// What the finalisation would do to one pair, as a list of actions.
class Prediction {
public:
    std::vector<std::string> actions;
    bool unreadable = false;

    void add(const std::string& action) { actions.push_back(action); }
    std::string text() const {
        std::string t = "the finalisation would ";
        for (size_t i = 0; i < actions.size(); ++i)
            t += (i == 0 ? "" : i + 1 == actions.size() ? " and " : ", ") + actions[i];
        return t;
    }
};

void changed(std::vector<std::string>& fields, const char* name, uint64_t before, uint64_t after) {
    if (before != after) fields.push_back(std::string(name) + " " + num(before) + " -> " + num(after));
}

Prediction predict(const StreamSource& toc, uint64_t dataEnd, const SectionKindFacts& kind, bool& leftAsItIs,
                   std::string& why) {
    Prediction p;
    uint64_t tocEnd = toc.size();
    const uint64_t tocBefore = tocEnd, dataBefore = dataEnd;
    Header h;
    const bool fresh = tocEnd < repair::CONTINUED_TOC_MIN;
    if (fresh) {
        h.headerSize = toc::kHeaderLength;
        h.entrySize = kind.entrySize;
        p.add("write a fresh header with no entries over the TOC's " + num(tocEnd) + " bytes (no whole header)");
        tocEnd = toc::kHeaderLength;
    } else {
        uint8_t bytes[toc::kHeaderLength];
        if (!toc.read(0, sizeof bytes, bytes)) {
            p.unreadable = true;
            return p;
        }
        h = decodeHeader(bytes);
        if (!repair::entriesJudgeable(h.entrySize, kind.entrySize)) {
            leftAsItIs = true;
            why = "entrySize " + num(h.entrySize) + " is too small for a " + kind.name + " entry (" +
                  num(kind.entrySize) + "): the finalisation leaves the pair as it is";
            return p;
        }
        if (h.headerSize != toc::kHeaderLength)
            p.add("keep the header's headerSize " + num(h.headerSize) + ", which is not " + num(toc::kHeaderLength));
    }

    uint32_t count = h.entryCount;
    if (!repair::consistent(tocEnd, dataEnd, h.headerSize, h.entrySize, h.entryCount, h.dataFileSize)) {
        if (tocEnd < repair::describedTocLength(h.headerSize, h.entrySize, count))
            count = repair::wholeEntries(tocEnd, h.entrySize);
        const uint32_t whole = count;
        ItemEnds ends(toc, kind, h.entrySize);
        uint64_t kept = 0;
        for (; count > 0; --count) {
            std::optional<uint64_t> end = ends.at(count - 1);
            if (!end) {
                p.unreadable = true;
                return p;
            }
            if (repair::itemPresent(*end, dataEnd)) {
                kept = *end;
                break;
            }
        }
        if (count < whole)
            p.add("drop the last " + num(whole - count) + " of " + num(whole) + " entries, whose items end past the data file's " +
                  num(dataEnd) + " bytes");
        tocEnd = repair::tocLength(h.entrySize, count);
        dataEnd = kept;
    }
    if (!fresh && tocEnd != tocBefore)
        p.add("cut the TOC from " + num(tocBefore) + " to " + num(tocEnd) + " bytes (" + num(count) + " entries)");
    if (dataEnd != dataBefore) p.add("cut the data file from " + num(dataBefore) + " to " + num(dataEnd) + " bytes");
    const uint32_t pad = repair::padding(dataEnd, tocEnd);
    if (pad) p.add("pad the data file with " + num(pad) + " zero bytes");

    const uint32_t dataFileSize = static_cast<uint32_t>(dataEnd + pad);
    const uint32_t totalSize =
        static_cast<uint32_t>(repair::describedTocLength(h.headerSize, h.entrySize, count) + dataFileSize);
    if (fresh) return p;
    std::vector<std::string> fields;
    changed(fields, "entryCount", h.entryCount, count);
    changed(fields, "dataFileSize", h.dataFileSize, dataFileSize);
    changed(fields, "totalSize", h.totalSize, totalSize);
    if (h.reservedSet) fields.push_back("its reserved bytes 34-47 cleared");
    if (!fields.empty()) {
        std::string list;
        for (const std::string& f : fields) list += (list.empty() ? "" : ", ") + f;
        p.add("rewrite the header (" + list + ")");
    }
    return p;
}

const NamedFile* named(const CheckedDump& d, FileRole role, size_t index) {
    for (const NamedFile& f : d.fileNames().files)
        if (f.role == role && f.index == index) return &f;
    return nullptr;
}

void checkPair(const CheckedDump& d, const NamedFile& toc, const SectionKindFacts& kind, Report& report) {
    const NamedFile* data = named(d, kind.data, toc.index);
    if (toc.path.empty() || toc.path[0] != '/') return;  // the library resolves it elsewhere: reported as outside
    if (!data) {
        report.add(kSectionInconsistent, d.id, toc.path,
                   "no data file is named beside the TOC: the library cannot finalise the section");
        return;
    }
    if (!UtilFile(toc.path.c_str()).exists() || !UtilFile(data->path.c_str()).exists()) return;  // file-missing
    std::string why;
    std::unique_ptr<PlatformFileSource> tocSource = PlatformFileSource::open(toc.path, why);
    std::unique_ptr<PlatformFileSource> dataSource = tocSource ? PlatformFileSource::open(data->path, why) : nullptr;
    if (!dataSource) {
        report.unreadable(why);
        return;
    }
    bool leftAsItIs = false;
    Prediction p = predict(*tocSource, dataSource->size(), kind, leftAsItIs, why);
    if (p.unreadable) {
        report.unreadable(tocSource->failure());
        return;
    }
    if (leftAsItIs)
        report.add(kSectionInconsistent, d.id, toc.path, why);
    else if (!p.actions.empty())
        report.add(kSectionInconsistent, d.id, toc.path, p.text());
}

}  // namespace

void checkSections(const CheckedDump& d, Report& report) {
    for (const NamedFile& f : d.fileNames().files)
        for (const SectionKindFacts& kind : kKinds)
            if (f.role == kind.toc) checkPair(d, f, kind, report);
}

}  // namespace check
}  // namespace platdump
