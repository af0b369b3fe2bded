#include "dumpAccess.h"

#include <algorithm>
#include <cstdio>

#include "decode/dumpKind.h"
#include "dumpId.h"
#include "errorReport.h"
#include "platdump/dumpCollections.h"
#include "platform/errlEntry.h"
#include "platform/utilFile.h"

namespace platdump {

namespace {

constexpr uint32_t kReadChunk = 1u << 20;

const char* filePrefix(DumpSummary::typeOfSummary_t kind) {
    switch (kind) {
        case DumpSummary::HWU: return DumpCollections::HWUDUMP;
        case DumpSummary::RSC: return DumpCollections::RESDUMP;
        default: return DumpCollections::SYSDUMP;
    }
}

// The pending error of a file as one line; the entry is dropped.
std::string takeFileError(UtilFile& file) {
    ErrlEntry* e = file.takeError();
    std::string text = e ? briefError(*e) : "no error log";
    delete e;
    return text;
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
    UtilFile file(path.c_str());
    if (!file.exists()) {
        why = path + " does not exist";
        return false;
    }
    file.Open("r");
    if (file.hasError()) {
        why = path + " cannot be opened: " + takeFileError(file);
        return false;
    }
    bytes.assign(file.size(), 0);
    for (uint64_t done = 0; done < bytes.size();) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kReadChunk, bytes.size() - done));
        uint32_t got = file.read(bytes.data() + done, want);
        if (file.hasError() || got == 0) {
            why = path + " cannot be read at offset " + std::to_string(done) + ": " + takeFileError(file);
            return false;
        }
        done += got;
    }
    return true;
}

std::optional<uint64_t> repositoryFileSize(const std::string& path) {
    UtilFile file(path.c_str());
    if (!file.exists()) return std::nullopt;
    file.Open("r");
    if (file.hasError()) {
        file.clearError();
        return std::nullopt;
    }
    return file.size();
}

}  // namespace platdump
