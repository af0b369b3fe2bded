// Flush: brings the summary's derived size fields in line with the nodal
// files it names. Measurement, recomputation and the conditional write are
// one hold of the summary lock, so no other summary user sees a half-done
// flush; a summary that nothing changed is not written at all.
#include <cstring>
#include <string>

#include "dump/summary/summaryLayout.h"
#include "dump/summary/summaryLockHold.h"
#include "dump/summary/summaryNodalFiles.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"

using namespace dump;
using namespace dump::layout;

ErrlEntry* DumpSummary::flush() {
    if (!iv_file || !iv_file->isOpen()) {
        trace("DumpSummary: dump 0x%08X has no open summary file to flush", iv_dumpId);
        return nullptr;
    }
    SummaryLockHold hold(*this);
    flushHeld();
    return nullptr;
}

bool DumpSummary::flushHeld() {
    // Behind flush's own check and a completion whose summary was read.
    if (!iv_file || !iv_file->isOpen()) return false;  // GCOVR_EXCL_BR_LINE
    // What could not be read is not written back: when a region read fails
    // the file is left as it is. (A file that merely ends early, as a
    // creation cut short leaves it, is completed from the images.)
    iv_file->clearError();
    ReadFileHeader();
    ReadSummary();
    ReadFileNames();
    if (iv_file->hasError()) {
        trace("DumpSummary: summary of dump 0x%08X not read whole, flush writes nothing", iv_dumpId);
        return false;
    }
    const Regions before = iv_image;
    for (const NodalSlot& slot : nodalSlots()) {
        std::string name = slotName(iv_image.fileNames, slot);
        uint32_t size = 0;
        // A file that cannot be measured keeps the size stored for it.
        if (!name.empty() && measuredSize(name, size)) be::putU32(iv_image.fileNames, slot.size, size);
    }
    recomputeDerivedFields(iv_image.fileHeader, iv_image.summary, iv_image.fileNames);
    if (std::memcmp(before.fileHeader, iv_image.fileHeader, HEADER_AND_SUMMARY_SIZE) == 0 &&
        std::memcmp(before.fileNames, iv_image.fileNames, FILE_NAMES_SIZE) == 0) {
        trace("DumpSummary: flush of dump 0x%08X: unchanged", iv_dumpId);
        return true;
    }
    // All three, whatever the first two did: each is a whole region.
    const bool header = writeFileHeader() == FILE_HEADER_SIZE;
    const bool summary = writeSummary() == SUMMARY_SIZE;
    const bool names = writeFileNames() == FILE_NAMES_SIZE;
    trace("DumpSummary: flush of dump 0x%08X written%s", iv_dumpId, header && summary && names ? "" : " in part");
    return header && summary && names;
}
