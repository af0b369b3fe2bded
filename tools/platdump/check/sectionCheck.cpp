// section-inconsistent: what the library's finalisation of a nodal section
// would change in its TOC/data pair. Completion reopens every section the
// summary names (a TOC shorter than a header gets a fresh one) and
// finalises it: a pair whose header does not fit its files has the
// TOC cut to whole entries and the entries whose items run past the data
// file dropped from the end, the data file cut where the last item ends;
// then the data file is padded to a multiple of 16 with the TOC and the
// final header written. The rules are the finaliser's own
// (dump/nodal/nodalRepairRules.h); here they are applied to the bytes read.
//
// items-misplaced: the finaliser judges only the pair's lengths and the
// last items, so a pair it leaves (or would leave) as it is may still hold
// items that do not lie back to back from the start of the data file: the
// bytes of an item whose entry never reached the TOC (a gap, or data after
// the last item beyond the padding), an item written short (the next one
// overlaps where it was to end, or it runs past the data file). The
// entries the finalisation keeps are held against the data file it leaves.
#include <algorithm>
#include <functional>
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

// Where the entries' items lie, read from the TOC a chunk at a time.
struct Item {
    uint64_t offset, size;
    uint64_t end() const { return offset + size; }
};

class Entries {
public:
    // Entries of entrySize bytes (the header's, at least the kind's), the
    // item's offset and size where the kind keeps them.
    Entries(const StreamSource& toc, const SectionKindFacts& kind, uint16_t entrySize)
        : iv_toc(toc), iv_kind(kind), iv_entrySize(entrySize) {}
    // The entries wholly present in the TOC.
    uint32_t present() const { return repair::wholeEntries(iv_toc.size(), iv_entrySize); }
    // Entry i's item; none when the TOC cannot be read. Reading backwards,
    // the chunk read ends at i; forwards, it begins there (and ends at the
    // last entry present).
    std::optional<Item> at(uint32_t i, bool backwards) {
        if (i < iv_first || i >= iv_first + iv_count) {
            if (backwards) {
                iv_first = i >= kEntriesPerRead ? i - (kEntriesPerRead - 1) : 0;
                iv_count = i - iv_first + 1;
            } else {
                iv_first = i;
                iv_count = std::min(kEntriesPerRead, std::max(present(), i + 1) - i);
            }
            iv_bytes.assign(size_t(iv_count) * iv_entrySize, 0);
            if (!iv_toc.read(repair::tocLength(iv_entrySize, iv_first), iv_bytes.size(), iv_bytes.data())) {
                iv_count = 0;
                return std::nullopt;
            }
        }
        const uint8_t* entry = iv_bytes.data() + size_t(i - iv_first) * iv_entrySize;
        return Item{be::getU32(entry, iv_kind.dataOffsetAt), be::getU32(entry, iv_kind.dataSizeAt)};
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

// What the finalisation would do to one pair, as a list of actions, and
// the pair it would leave: the entries kept and the data file's length.
class Prediction {
public:
    std::vector<std::string> actions;
    bool unreadable = false;
    uint16_t entrySize = 0;
    uint32_t keptEntries = 0;
    uint64_t keptData = 0;

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
        Entries entries(toc, kind, h.entrySize);
        uint64_t kept = 0;
        for (; count > 0; --count) {
            std::optional<Item> item = entries.at(count - 1, true);
            if (!item) {
                p.unreadable = true;
                return p;
            }
            if (repair::itemPresent(item->end(), dataEnd)) {
                kept = item->end();
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
    p.entrySize = h.entrySize;
    p.keptEntries = count;
    p.keptData = dataEnd + pad;
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

// The first place where the kept items do not lie back to back from the
// start of the data file the finalisation leaves, and how many such places
// there are; none when the TOC cannot be read.
std::optional<std::string> misplacedItems(const StreamSource& toc, const SectionKindFacts& kind, const Prediction& p,
                                          size_t& places) {
    Entries entries(toc, kind, p.entrySize);
    std::string first;
    auto place = [&](const std::function<std::string()>& what) {
        if (places++ == 0) first = what();
    };
    const uint32_t present = entries.present();
    uint64_t expected = 0;  // where the next item should start
    for (uint32_t i = 0; i < p.keptEntries; ++i) {
        if (i >= present) {  // the header counts entries its TOC does not hold whole
            place([&] { return "entry " + std::to_string(i) + " lies past the TOC's end"; });
            break;
        }
        std::optional<Item> item = entries.at(i, false);
        if (!item) return std::nullopt;
        auto which = [&] {
            return "entry " + std::to_string(i) + "'s item (" + num(item->size) + " bytes at " + num(item->offset) + ")";
        };
        if (item->offset > expected)
            place([&] {
                return which() + " starts " + num(item->offset - expected) + " bytes after " +
                       (i == 0 ? "the start of the data file" : "the previous item's end") + ": bytes no entry describes";
            });
        else if (item->offset < expected)
            place([&] { return which() + " overlaps the previous item, which ends at " + num(expected); });
        if (item->end() > p.keptData)
            place([&] { return which() + " runs past the data file's " + num(p.keptData) + " bytes"; });
        expected = item->end();
    }
    if (p.keptData > expected && p.keptData - expected >= dump::nodal::SECTION_ALIGNMENT)
        place([&] {
            return num(p.keptData - expected) +
                   " bytes follow the last item, which no entry describes (the padding is at most " +
                   num(dump::nodal::SECTION_ALIGNMENT - 1) + ")";
        });
    return first;
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
    if (leftAsItIs) {
        report.add(kSectionInconsistent, d.id, toc.path, why);
        return;
    }
    if (!p.actions.empty()) report.add(kSectionInconsistent, d.id, toc.path, p.text());
    size_t places = 0;
    std::optional<std::string> misplaced = misplacedItems(*tocSource, kind, p, places);
    if (!misplaced) {
        report.unreadable(tocSource->failure().empty() ? toc.path + ": its entries cannot be read" : tocSource->failure());
        return;
    }
    if (places == 0) return;
    std::string detail = (p.actions.empty() ? "" : "after the finalisation, ") + *misplaced;
    if (places > 1) detail += "; and " + std::to_string(places - 1) + " more such places";
    report.add(kItemsMisplaced, d.id, toc.path, detail);
}

}  // namespace

void checkSections(const CheckedDump& d, Report& report) {
    for (const NamedFile& f : d.fileNames().files)
        for (const SectionKindFacts& kind : kKinds)
            if (f.role == kind.toc) checkPair(d, f, kind, report);
}

}  // namespace check
}  // namespace platdump
