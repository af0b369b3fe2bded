#include "mirrorPlan.h"

#include <algorithm>
#include <memory>
#include <set>

#include "checkedRepository.h"
#include "decode/findings.h"
#include "decode/record.h"
#include "dumpId.h"
#include "errorReport.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpTypes.h"
#include "platform/errlEntry.h"
#include "platform/rmgr.h"
#include "platformSource.h"

namespace platdump {
namespace mirror {

namespace {

// Bytes compared at a time, of each side.
constexpr size_t kCompareChunk = 64u << 10;

std::string repositoryPath(const std::string& name) { return std::string(DumpCollections::MOUNT_POINT) + "/" + name; }

std::string readable(const std::string& text) {
    return decode::printable(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The entry as one line; the entry is deleted.
std::string consumed(ErrlEntry* e) {
    std::string text = briefError(*e);
    delete e;
    return text;
}

// Whether a name from the backup's listing can be a file of the
// repository: one plain name, nothing that leads elsewhere.
bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// The paths the backup lists in the repository; refused names, and a
// listing that fails, are problems.
void listBackup(std::set<std::string>& paths, std::vector<std::string>& problems) {
    std::vector<std::string> names;
    if (ErrlEntry* e = rmgrListBackupDirectory(DUMP_COMPONENT_ID, DumpCollections::MOUNT_POINT, names)) {
        problems.push_back(std::string("the backup's ") + DumpCollections::MOUNT_POINT + " cannot be listed: " +
                           consumed(e));
        return;
    }
    for (const std::string& name : names)
        if (plainName(name))
            paths.insert(repositoryPath(name));
        else
            problems.push_back("the backup's listing of " + std::string(DumpCollections::MOUNT_POINT) + " names \"" +
                               readable(name) + "\", which is no file name of it: refused");
}

// Collects the byte ranges where a copy differs; ranges closer than a
// chunk are joined, so a file scattered with differences is copied in few
// calls.
class Ranges {
public:
    void mark(uint64_t from, uint64_t to) {
        if (!iv_ranges.empty() && from - iv_ranges.back().second < kCompareChunk)
            iv_ranges.back().second = to;
        else
            iv_ranges.emplace_back(from, to);
    }
    const std::vector<std::pair<uint64_t, uint64_t>>& all() const { return iv_ranges; }

private:
    std::vector<std::pair<uint64_t, uint64_t>> iv_ranges;
};

// The ranges of here that the copy (of copySize bytes, no more than here)
// does not hold; false with why set when either side cannot be read.
bool differingRanges(const PlatformFileSource& here, const std::string& path, uint64_t copySize, Ranges& ranges,
                     std::string& why) {
    std::vector<uint8_t> mine(kCompareChunk), copy(kCompareChunk);
    for (uint64_t at = 0; at < copySize; at += kCompareChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kCompareChunk, copySize - at));
        if (!here.read(at, n, mine.data())) {
            why = here.failure();
            return false;
        }
        uint32_t got = 0;
        if (ErrlEntry* e = rmgrReadBackupFile(DUMP_COMPONENT_ID, path.c_str(), at, static_cast<uint32_t>(n),
                                              copy.data(), got)) {
            why = "the backup's copy of " + readable(path) + " cannot be read at offset " + std::to_string(at) + ": " +
                  consumed(e);
            return false;
        }
        if (got > n) {
            why = "the backup answered " + std::to_string(got) + " bytes to a read of " + std::to_string(n) + " of " +
                  readable(path) + ": refused";
            return false;
        }
        // Bytes the copy did not deliver (it ended early) differ too.
        auto differs = [&](size_t i) { return i >= got || mine[i] != copy[i]; };
        size_t first = 0;
        while (first < n && !differs(first)) ++first;
        if (first == n) continue;
        size_t last = n - 1;
        while (!differs(last)) --last;
        ranges.mark(at + first, at + last + 1);
    }
    if (here.size() > copySize) ranges.mark(copySize, here.size());
    return true;
}

void compareFile(const std::string& path, std::optional<unsigned int> dump, Comparison& result) {
    ++result.files;
    Difference d;
    d.path = path;
    d.dump = dump;
    bool copied = false;
    if (ErrlEntry* e = rmgrBackupFileSize(DUMP_COMPONENT_ID, path.c_str(), copied, d.copySize)) {
        result.problems.push_back("the backup's copy of " + readable(path) + " cannot be measured: " + consumed(e));
        return;
    }
    std::string why;
    std::unique_ptr<PlatformFileSource> here;
    if (UtilFile(path.c_str()).exists() && !(here = PlatformFileSource::open(path, why))) {
        result.problems.push_back(readable(why));
        return;
    }
    if (!here) {  // gone here (never here, or removed since the listing)
        d.remedy = Remedy::Delete;
        if (copied) result.differences.push_back(d);
        return;
    }
    d.hereSize = here->size();
    if (!copied || d.copySize > d.hereSize) {
        d.remedy = copied ? Remedy::Replace : Remedy::Create;
        d.length = d.hereSize;
        result.differences.push_back(d);
        return;
    }
    Ranges ranges;
    if (!differingRanges(*here, path, d.copySize, ranges, why)) {
        result.problems.push_back(readable(why));
        return;
    }
    for (const auto& [from, to] : ranges.all()) {
        d.offset = from;
        d.length = to - from;
        result.differences.push_back(d);
    }
}

std::optional<unsigned int> claimant(const check::CheckedRepository& r, const std::string& path) {
    auto it = r.claimants.find(path);
    return it == r.claimants.end() ? std::nullopt : std::optional<unsigned int>(it->second);
}

}  // namespace

bool compareWithBackup(std::optional<unsigned int> dump, Comparison& result, std::string& why) {
    check::CheckedRepository repository;
    std::vector<std::string> unreadableSummaries;  // compared like any file: a failure to read is found there
    if (!check::readRepository(repository, unreadableSummaries, why)) return false;

    std::vector<std::string> paths;
    if (dump) {
        auto d = std::find_if(repository.dumps.begin(), repository.dumps.end(),
                              [&](const check::CheckedDump& c) { return c.id == *dump; });
        if (d == repository.dumps.end()) {
            why = "no dump " + idText(*dump) + " in " + DumpCollections::MOUNT_POINT;
            return false;
        }
        std::set<std::string> seen;
        for (const std::string& path : d->claimed)
            if (check::inRepository(path) && path != d->summaryPath && seen.insert(path).second) paths.push_back(path);
        paths.insert(paths.begin(), d->summaryPath);
    } else {
        // Subdirectories are not mirrored: the library writes none.
        std::set<std::string> files(repository.entries.begin(), repository.entries.end());
        listBackup(files, result.problems);
        for (const std::string& d : repository.directories) files.erase(d);
        paths.assign(files.begin(), files.end());
    }
    for (const std::string& path : paths) compareFile(path, dump ? dump : claimant(repository, path), result);
    return true;
}

const char* remedyName(Remedy remedy) {
    switch (remedy) {
        case Remedy::Replace: return "replace";
        case Remedy::Create: return "create";
        case Remedy::Delete: return "delete";
        default: return "copy";
    }
}

std::string findingText(const Difference& d) {
    using decode::num;
    switch (d.remedy) {
        case Remedy::Replace:
            return "the backup's copy is longer (" + num(d.copySize) + " bytes, here " + num(d.hereSize) + ")";
        case Remedy::Create: return "the backup holds no copy (here " + num(d.hereSize) + " bytes)";
        case Remedy::Delete: return "only the backup holds it (" + num(d.copySize) + " bytes)";
        default:
            return (d.length == 1 ? "byte " + num(d.offset) + " differs"
                                  : "bytes " + num(d.offset) + " to " + num(d.offset + d.length - 1) + " (" +
                                        std::to_string(d.length) + " bytes) differ") +
                   " (here " + num(d.hereSize) + " bytes, the copy " + num(d.copySize) + ")";
    }
}

}  // namespace mirror
}  // namespace platdump
