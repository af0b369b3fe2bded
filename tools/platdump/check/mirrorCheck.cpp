// mirror-missing, mirror-differs, backup-only: the backup service
// processor keeps a copy of every file the library writes in the
// repository. Each file a dump claims is compared byte for byte with the
// backup's copy, read through the redundancy manager's read-only view, and
// every file the backup holds in the repository must have its original
// here. Orphans are left out: the sweep removes them here only. Every
// such finding names `platdump mirror` as its remedy.
#include <algorithm>
#include <set>

#include "checks.h"
#include "decode/findings.h"
#include "errorReport.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpTypes.h"
#include "platform/errlEntry.h"
#include "platform/rmgr.h"
#include "platformSource.h"

namespace platdump {
namespace check {

namespace {

constexpr size_t kCompareChunk = 64u << 10;

// A mirror finding's detail, naming its remedy.
std::string withRemedy(const std::string& detail) { return detail + "; platdump mirror brings the backup in line"; }

// The first offset at which the two differ; none when they are equal.
// unreadable is set when either cannot be read.
std::optional<uint64_t> firstDifference(const decode::StreamSource& here, const decode::StreamSource& copy,
                                        std::string& unreadable) {
    const uint64_t common = std::min(here.size(), copy.size());
    std::vector<uint8_t> a(kCompareChunk), b(kCompareChunk);
    for (uint64_t at = 0; at < common; at += kCompareChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kCompareChunk, common - at));
        if (!here.read(at, n, a.data()) || !copy.read(at, n, b.data())) {
            unreadable = "cannot be compared";
            return std::nullopt;
        }
        auto mismatch = std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
        if (mismatch.first != a.begin() + static_cast<std::ptrdiff_t>(n)) return at + (mismatch.first - a.begin());
    }
    if (here.size() != copy.size()) return common;
    return std::nullopt;
}

void compare(const std::string& path, unsigned int dump, Report& report) {
    std::string why;
    std::unique_ptr<PlatformFileSource> here = PlatformFileSource::open(path, why);
    if (!here) {
        report.unreadable(why);
        return;
    }
    std::unique_ptr<BackupFileSource> copy = BackupFileSource::open(path, why);
    if (!copy) {
        if (!why.empty())
            report.unreadable(why);
        else
            report.add(kMirrorMissing, dump, path, withRemedy("the backup service processor holds no copy of it"));
        return;
    }
    std::string unreadable;
    std::optional<uint64_t> at = firstDifference(*here, *copy, unreadable);
    if (!unreadable.empty()) {
        report.unreadable(here->failure().empty() ? copy->failure() : here->failure());
        return;
    }
    if (at)
        report.add(kMirrorDiffers, dump, path,
                   withRemedy("the backup's copy differs from byte " + decode::num(*at) + " on (here " +
                              decode::num(here->size()) + " bytes, the copy " + decode::num(copy->size()) + ")"));
}

}  // namespace

void checkMirror(const CheckedRepository& r, Report& report) {
    const std::set<std::string> here(r.entries.begin(), r.entries.end());
    for (const auto& [path, dump] : r.claimants)
        if (inRepository(path) && here.count(path)) compare(path, dump, report);

    std::vector<std::string> names;
    if (ErrlEntry* e = rmgrListBackupDirectory(DUMP_COMPONENT_ID, DumpCollections::MOUNT_POINT, names)) {
        report.unreadable(std::string("the backup's ") + DumpCollections::MOUNT_POINT + " cannot be listed: " +
                          briefError(*e));
        delete e;
        return;
    }
    for (const std::string& name : names) {
        const std::string path = std::string(DumpCollections::MOUNT_POINT) + "/" + name;
        if (here.count(path)) continue;
        auto claimant = r.claimants.find(path);
        report.add(kBackupOnly, claimant == r.claimants.end() ? std::nullopt : std::optional<unsigned int>(claimant->second),
                   path, withRemedy("the backup service processor holds it, this one has no such file"));
    }
}

}  // namespace check
}  // namespace platdump
