// Flush: brings the summary's derived size fields in line with the nodal
// files it names. Measurement, recomputation and the conditional write are
// one hold of the summary lock, so no other summary user sees a half-done
// flush; a summary that nothing changed is not written at all.
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
        // Only the nodal sizes and the derived fields change here, each
        // compared as it is set: the images differ from what was read
        // exactly when one of them did.
        bool changed = false;
        for (const NodalSlot& slot : kNodalSlots) {
            const SlotName name = slotName(iv_image.fileNames, slot);
            if (name.empty()) continue;
            const uint32_t size = measuredSize(name.text);
            changed |= storedSize(iv_image.fileNames, slot) != size;
            be::putU32(iv_image.fileNames, slot.size, size);
        }
        changed |= recomputeDerivedFields(iv_image.fileHeader, iv_image.summary, iv_image.fileNames);

        if (changed) {
            writeFileHeader();
            writeSummary();
            writeFileNames();
            written = true;
        }
    }
    trace("DumpSummary: flush of dump 0x%08X %s", iv_dumpId, written ? "written" : "unchanged");
    return nullptr;
}
