// DumpSystemNodal: the section files named after the dump and recorded in
// its summary; the always-gathered entries (console connections and file
// system use); registry values, files and error logs saved on request.
// (The console scan itself: dumpSystemNodalConsoles.cpp.)
#include "platdump/dumpSystemNodal.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "dump/nodal/systemNodalLayout.h"
#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"
#include "platform/bigEndian.h"
#include "platform/errlEntry.h"
#include "platform/utilFile.h"
#include "platform/utilReg.h"

using namespace dump;
using namespace dump::sysnodal;

namespace {

constexpr Site kCreateFailed{0x0115, 1};
constexpr Site kNoSummary{0x0115, 2};
constexpr Site kConsoleEntryFailed{0x0315, 0x22};
constexpr Site kGatherFailed{0x0215, 0xB};
constexpr Site kErrorEntryFailed{0x0415, 0x19};

constexpr unsigned int kSectionIndex = 0xFFFF;

constexpr uint32_t kConsoleEntryId = 0xF1190000;
constexpr uint32_t kFileSystemEntryId = 0xF00A0000;
constexpr uint32_t kRegistryPairEntryId = 0xF0090000;
constexpr uint32_t kFileSystemEntrySize = 4;

std::string sectionFileName(unsigned int dumpId, const char* suffix) {
    char name[32];
    std::snprintf(name, sizeof name, "%08X.%s", dumpId, suffix);
    return name;
}

// Traces and deletes a failure met while saving name; always false.
bool notSaved(ErrlEntry* e, const char* what, const char* name) {
    trace("DumpSystemNodal: %s of %s failed, rc 0x%X", what, name, e ? e->getRC() : 0);
    discard(e);
    return false;
}

// The registry value of key in a fresh record; false when it cannot be read.
bool readRegistryValue(const char* key, RegistryPairRecord& record) {
    uint32_t length = 0;
    if (ErrlEntry* e = UtilReg::read(key, nullptr, length, true, nullptr))
        return notSaved(e, "registry length", key);
    if (!record.build(key, length)) return notSaved(nullptr, "record", key);
    uint32_t capacity = record.valueLength();
    if (ErrlEntry* e = UtilReg::read(key, record.value(), capacity, true, nullptr))
        return notSaved(e, "registry read", key);
    if (capacity != length) return notSaved(nullptr, "registry read (length changed)", key);
    return true;
}

// The content of file path in a fresh record; false when it cannot be read.
bool readFileValue(const char* path, RegistryPairRecord& record) {
    UtilFile file(path);
    file.Open("r", false);
    if (ErrlEntry* e = file.takeError()) return notSaved(e, "open", path);
    if (!record.build(path, file.size())) return notSaved(nullptr, "record", path);
    uint32_t count = file.read(record.value(), record.valueLength());
    if (ErrlEntry* e = file.takeError()) return notSaved(e, "read", path);
    if (count != record.valueLength()) return notSaved(nullptr, "read (file shorter)", path);
    return true;
}

// True when an item that writeEntry accepted reached both files: a file
// system at its floor stops the writes without an error (writeEntry marks
// the summary instead).
// (Both files exist once writeEntry has accepted an item.)
bool reachedDisk(const DumpUtilFile* data, const DumpUtilFile* toc) {
    return data && toc && !data->iv_diskFull && !toc->iv_diskFull;  // GCOVR_EXCL_BR_LINE
}

}  // namespace

DumpSystemNodal::DumpSystemNodal(DumpSummary* summary, ErrlEntry*& errl)
    : DumpNodalSection(SYSDATA, summary) {
    errl = nullptr;
    if (!summary) {
        trace("DumpSystemNodal: no summary");
        errl = errorAt(kNoSummary, RC_FAILED, REASON_FILE);
        return;
    }
    std::string dataName = sectionFileName(summary->getDumpId(), "SysData");
    std::string tocName = sectionFileName(summary->getDumpId(), "SysTOC");
    if ((errl = createNodalFiles(tocName, dataName, kSectionIndex))) {
        // The summary names no pair of which a file may be missing.
        passedAt(errl, kCreateFailed);
        return;
    }
    std::string dataPath = getDataFileName(), tocPath = getTocFileName();
    // createNodalFiles has put a bare name under the repository already.
    for (const std::string* path : {&dataPath, &tocPath})
        if (path->find('/') == std::string::npos)                         // GCOVR_EXCL_BR_LINE
            trace("DumpSystemNodal: %s is no full path", path->c_str());  // GCOVR_EXCL_LINE
    summary->SetSYSDATAFileNames(dataPath, tocPath);
}

DumpSystemNodal::~DumpSystemNodal() = default;

ErrlEntry* DumpSystemNodal::gatherSystemNodalInformation() {
    ConnectionInfo_t connections;
    ErrlEntry* e = GetKELInfo(&connections);
    discard(e);
    uint8_t image[info::SIZE];
    encodeConnectionInfo(connections, image);
    DumpSpTocEntry entry{kConsoleEntryId, 0, info::SIZE};
    if ((e = writeEntry(entry, reinterpret_cast<char*>(image)))) {
        passedAt(passedAt(e, kConsoleEntryFailed), kGatherFailed);
        // A file system that filled up ends the gathering with its cause.
        if (iv_Summary && (iv_Summary->getHWErrorFlags() & layout::sum::hwFileSystemFullFlag)) return e;
        commit(e);
    }

    uint8_t percent[kFileSystemEntrySize];
    be::putU32(percent, 0, iv_DataFile ? iv_DataFile->iv_percentUsed : 0);
    DumpSpTocEntry use{kFileSystemEntryId, 0, kFileSystemEntrySize};
    if ((e = writeEntry(use, reinterpret_cast<char*>(percent)))) {
        trace("DumpSystemNodal: file system entry not written, rc 0x%X", e->getRC());
        discard(e);
    }
    return nullptr;
}

bool DumpSystemNodal::SaveRegistryNVPair(const char* name, bool fromRegistry) {
    if (!name) return notSaved(nullptr, "name", "(null)");
    RegistryPairRecord record;
    if (!(fromRegistry ? readRegistryValue(name, record) : readFileValue(name, record))) return false;
    DumpSpTocEntry entry{kRegistryPairEntryId, 0, record.size()};
    if (ErrlEntry* e = writeEntry(entry, record.data())) return notSaved(e, "entry", name);
    if (!reachedDisk(iv_DataFile, iv_TOCFile)) return notSaved(nullptr, "entry (file system full)", name);
    return true;
}

bool DumpSystemNodal::SaveErrorToDump(ErrlEntry*& errl, unsigned int id) {
    if (!errl) {
        trace("DumpSystemNodal: no error log to save as 0x%08X", id);
        return false;
    }
    uint32_t size = errl->flattenedSize();
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[size]);
    // GCOVR_EXCL_START: only an exhausted heap fails the allocation.
    if (!image) {
        trace("DumpSystemNodal: no memory for an error log of %u bytes", size);
        return false;
    }
    // GCOVR_EXCL_STOP
    if (uint32_t rc = errl->flatten(image.get(), size)) {
        trace("DumpSystemNodal: error log not flattened, result 0x%X", rc);
        return false;
    }
    DumpSpTocEntry entry{id, 0, size};
    if (ErrlEntry* e = writeEntry(entry, reinterpret_cast<char*>(image.get()))) {
        trace("DumpSystemNodal: error log 0x%X not written as 0x%08X", errl->plid(), id);
        commit(passedAt(e, kErrorEntryFailed));
        return false;
    }
    if (!reachedDisk(iv_DataFile, iv_TOCFile)) {
        trace("DumpSystemNodal: error log 0x%X not saved, file system full", errl->plid());
        return false;
    }
    return true;
}
