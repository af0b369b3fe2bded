// DumpSummary::setDumpComplete: every nodal section the summary names is
// reopened and finalised (so the sizes the flush then measures describe
// whole entries), the complete flag is set, and the summary is flushed.
#include <string>

#include "dump/summary/summaryLayout.h"
#include "dump/summary/summaryLockHold.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpNodalSection.h"
#include "platdump/dumpSummary.h"

using namespace dump;
using namespace dump::layout;

namespace {

constexpr unsigned int kSysSectionIndex = 10;

// Reopens and at once finalises the section whose TOC and data names
// stand at tocAt and dataAt of the file names image; an empty TOC name
// means there is none. A section that cannot be opened is traced and its
// entry deleted.
void finaliseSection(DumpSummary& summary, DumpNodalSection::DumpNodalType_t type, const uint8_t* image,
                     size_t tocAt, size_t dataAt, unsigned int index) {
    std::string toc = getText(image, tocAt, names::NAME_WIDTH);
    std::string data = getText(image, dataAt, names::NAME_WIDTH);
    if (toc.empty()) return;
    if (data.empty()) trace("DumpSummary: section %s has no data file name", toc.c_str());
    DumpNodalSection section(type, &summary);
    ErrlEntry* e = section.createNodalFiles(toc, data, index);
    if (e) {
        trace("DumpSummary: section %s of dump 0x%08X not finalised", toc.c_str(), summary.getDumpId());
        discard(e);
    }
}

}  // namespace

void DumpSummary::setDumpComplete() {
    {
        SummaryLockHold hold(*this);
        ReadSummary();
        trace("DumpSummary: completing dump 0x%08X, %s", iv_dumpId,
              be::getU16(iv_image.summary, sum::DUMP_FLAGS) & sum::dumpCompleteFlag ? "closed" : "open");
        ReadFileNames();
        const uint8_t* n = iv_image.fileNames;
        for (unsigned int i = 0; i < names::NODAL_SLOTS; ++i) {
            finaliseSection(*this, DumpNodalSection::HWDATA, n, names::nameSlot(names::HW_TOC_FILE_NAME, i),
                            names::nameSlot(names::HW_DATA_FILE_NAME, i), i);
            finaliseSection(*this, DumpNodalSection::SPDATA, n, names::nameSlot(names::SP_TOC_FILE_NAME, i),
                            names::nameSlot(names::SP_DATA_FILE_NAME, i), i);
        }
        finaliseSection(*this, DumpNodalSection::SYSDATA, n, names::SYS_TOC_FILE_NAME, names::SYS_DATA_FILE_NAME,
                        kSysSectionIndex);
        uint8_t* s = iv_image.summary;
        be::putU16(s, sum::DUMP_FLAGS, be::getU16(s, sum::DUMP_FLAGS) | sum::dumpCompleteFlag);
        writeSummary();
        trace("DumpSummary: dump 0x%08X complete", iv_dumpId);
    }
    ErrlEntry* e = flush();
    if (e) trace("DumpSummary: flush of dump 0x%08X returned a log", iv_dumpId);
    commit(e);
}
