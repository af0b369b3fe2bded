#include "dumpAccess.h"

#include <cstdio>

#include "decode/dumpKind.h"
#include "dumpId.h"
#include "errorReport.h"
#include "platdump/dumpCollections.h"
#include "platform/utilFile.h"
#include "platformSource.h"

namespace platdump {

namespace {

const char* filePrefix(DumpSummary::typeOfSummary_t kind) {
    switch (kind) {
        case DumpSummary::HWU: return DumpCollections::HWUDUMP;
        case DumpSummary::RSC: return DumpCollections::RESDUMP;
        default: return DumpCollections::SYSDUMP;
    }
}

}  // namespace

std::string summaryPath(unsigned int id, DumpSummary::typeOfSummary_t kind) {
    char name[64];
    std::snprintf(name, sizeof name, "/%s%08X.summary", filePrefix(kind), id);
    return std::string(DumpCollections::MOUNT_POINT) + name;
}

const char* kindName(unsigned int kind) { return decode::kindInfo(static_cast<decode::DumpKind>(kind)).name; }

std::optional<DumpSummary::typeOfSummary_t> findDumpKind(unsigned int id) {
    for (DumpSummary::typeOfSummary_t kind : {DumpSummary::SYS, DumpSummary::HWU, DumpSummary::RSC})
        if (UtilFile(summaryPath(id, kind).c_str()).exists()) return kind;
    return std::nullopt;
}

std::unique_ptr<DumpSummary> openDump(unsigned int id, const std::string& command, std::ostream& err) {
    std::optional<DumpSummary::typeOfSummary_t> kind = findDumpKind(id);
    if (!kind) {
        reportFailure(err, command, "no dump " + idText(id) + " in " + DumpCollections::MOUNT_POINT);
        return nullptr;
    }
    ErrlEntry* errl = nullptr;
    auto summary = std::make_unique<DumpSummary>(id, errl, *kind);
    if (!errl) return summary;
    reportFailure(err, command, "the library cannot open dump " + idText(id) + " (" + summaryPath(id, *kind) + ")",
                  errl);
    return nullptr;
}

bool readRepositoryFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& why) {
    std::unique_ptr<PlatformFileSource> source = PlatformFileSource::open(path, why);
    if (!source) return false;
    if (readPrefix(*source, source->size(), bytes)) return true;
    why = source->failure();
    return false;
}

std::optional<uint64_t> repositoryFileSize(const std::string& path) {
    std::string why;
    std::unique_ptr<PlatformFileSource> source = PlatformFileSource::open(path, why);
    if (!source) return std::nullopt;
    return source->size();
}

}  // namespace platdump
