#include "checkedRepository.h"

#include <errno.h>
#include <stdlib.h>

#include <cstring>
#include <set>
#include <utility>

#include "decode/dumpKind.h"
#include "decode/summarySection.h"
#include "dump/repository/repositoryPaths.h"
#include "dump/repository/summaryEntryNames.h"
#include "dumpAccess.h"
#include "platdump/dumpCollections.h"
#include "platform/bigEndian.h"
#include "platform/posixFs.h"
#include "platformSource.h"

namespace platdump {
namespace check {

namespace {

using decode::summaryfile::kLength;

// The kinds in the order the sweep lists and claims them.
const DumpSummary::typeOfSummary_t kKinds[] = {DumpSummary::SYS, DumpSummary::HWU, DumpSummary::RSC};

// The sweep claims an MDST file only when its whole name slot can be
// read from the summary file.
constexpr uint64_t kMdstSlotEnd =
    decode::summaryfile::kFileNamesRegion + decode::filenames::kMdstName + decode::filenames::kNameWidth;

const char* prefixOf(DumpSummary::typeOfSummary_t kind) {
    return kind == DumpSummary::HWU ? DumpCollections::HWUDUMP
           : kind == DumpSummary::RSC ? DumpCollections::RESDUMP
                                      : DumpCollections::SYSDUMP;
}

bool listDirectory(std::vector<std::string>& entries, std::set<std::string>& directories, std::string& why) {
    struct dirent** list = nullptr;
    int count = plat::scandir(DumpCollections::MOUNT_POINT, &list, nullptr, alphasort);
    if (count < 0) {
        why = std::string("cannot list ") + DumpCollections::MOUNT_POINT + ": " + std::strerror(errno);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const char* name = list[i]->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
            entries.push_back(std::string(DumpCollections::MOUNT_POINT) + "/" + name);
            if (list[i]->d_type == DT_DIR) directories.insert(entries.back());
        }
        free(list[i]);
    }
    free(list);
    return true;
}

void readSummary(CheckedDump& d, std::vector<std::string>& unreadable) {
    std::string why;
    std::unique_ptr<PlatformFileSource> source = PlatformFileSource::open(d.summaryPath, why);
    if (!source) {
        unreadable.push_back(why);
        return;
    }
    d.size = source->size();
    if (!readPrefix(*source, kLength, d.image)) {
        unreadable.push_back(source->failure());
        return;
    }
    d.read = true;
    d.image.resize(kLength, 0);
    d.decoded = decode::decodeSummaryFile(decode::MemorySource(d.image.data(), d.image.size()));
    d.opens = decode::kindByEyeCatcher(d.image.data() + decode::summaryfile::kSummaryRegion) != nullptr;
}

// What the dump claims, in the sweep's order.
void claim(CheckedDump& d) {
    if (!d.opens) return;
    const decode::FileNamesRegion& names = d.fileNames();
    d.claimed.push_back(names.summaryFilePath);
    for (const decode::NamedFile& f : names.files)
        if (f.role != decode::FileRole::Mdst) d.claimed.push_back(f.path);
    d.claimed.push_back(dump::statusLogPath(d.id));
    for (const decode::NamedFile& f : names.files)
        if (f.role == decode::FileRole::Mdst && d.size >= kMdstSlotEnd) d.claimed.push_back(f.path);
}

}  // namespace

bool CheckedDump::complete() const {
    using namespace decode;
    return read && (be::getU16(image.data(), summaryfile::kSummaryRegion + summary::kDumpFlags) & kDumpCompleteFlag);
}

bool inRepository(const std::string& path) {
    const std::string dir = std::string(DumpCollections::MOUNT_POINT) + "/";
    if (path.compare(0, dir.size(), dir) != 0) return false;
    const std::string name = path.substr(dir.size());
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

bool readRepository(CheckedRepository& r, std::vector<std::string>& unreadable, std::string& why) {
    if (!listDirectory(r.entries, r.directories, why)) return false;
    for (DumpSummary::typeOfSummary_t kind : kKinds) {
        std::set<unsigned int> seen;
        for (const std::string& entry : r.entries) {
            unsigned int id = 0;
            const std::string name = entry.substr(entry.rfind('/') + 1);
            if (!dump::summaryIdOfEntry(prefixOf(kind), kind == DumpSummary::HWU, name, id) || !seen.insert(id).second)
                continue;
            CheckedDump d;
            d.id = id;
            d.kind = kind;
            d.summaryPath = summaryPath(id, kind);
            if (!UtilFile(d.summaryPath.c_str()).exists()) continue;  // no dump: the library cannot open it
            readSummary(d, unreadable);
            claim(d);
            for (const std::string& path : d.claimed) r.claimants.emplace(path, id);
            r.dumps.push_back(std::move(d));
        }
    }
    return true;
}

}  // namespace check
}  // namespace platdump
