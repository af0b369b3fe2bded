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
    bool written = false;
    {
        SummaryLockHold hold(*this);
        ReadFileHeader();
        ReadSummary();
        ReadFileNames();
        // Of the file names, only the nodal sizes change here: each is
        // compared as it is set; header and summary are compared whole.
        uint8_t before[HEADER_AND_SUMMARY_SIZE];
        std::memcpy(before, iv_image.fileHeader, HEADER_AND_SUMMARY_SIZE);
        bool sizesChanged = false;

        for (const NodalSlot& slot : nodalSlots()) {
            const SlotName name = slotName(iv_image.fileNames, slot);
            if (name.empty()) continue;
            const uint32_t size = measuredSize(name.text);
            sizesChanged |= be::getU32(iv_image.fileNames, slot.size) != size;
            be::putU32(iv_image.fileNames, slot.size, size);
        }
        recomputeDerivedFields(iv_image.fileHeader, iv_image.summary, iv_image.fileNames);

        if (sizesChanged || std::memcmp(before, iv_image.fileHeader, HEADER_AND_SUMMARY_SIZE) != 0) {
            writeFileHeader();
            writeSummary();
            writeFileNames();
            written = true;
        }
    }
    trace("DumpSummary: flush of dump 0x%08X %s", iv_dumpId, written ? "written" : "unchanged");
    return nullptr;
}
