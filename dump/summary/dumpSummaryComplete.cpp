// DumpSummary::setDumpComplete: every nodal section the summary names is
// reopened and finalised (so the sizes the flush then measures describe
// whole entries), the complete flag is set when every one was left whole,
// and the summary is flushed.
#include <string>

#include "dump/summary/summaryLayout.h"
#include "dump/summary/summaryLockHold.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpNodalSection.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"

using namespace dump;
using namespace dump::layout;

namespace {

constexpr uint16_t kDumpCompleteFlag = 0x8000;
constexpr unsigned int kSysSectionIndex = 10;
constexpr Site kSectionNotWhole{0x1013, 1};
constexpr Site kSizesNotWritten{0x1013, 2};
constexpr uint32_t RC_NOT_WHOLE = 1;
constexpr uint16_t REASON_SUMMARY = 0xF00B;

// A section reopened only to be finalised at once.
class Finalisation : public DumpNodalSection {
public:
    using DumpNodalSection::DumpNodalSection;
    using DumpNodalSection::finaliseNow;
};

// Reopens and at once finalises the section whose TOC and data names
// stand at tocAt and dataAt of the file names image; an empty TOC name
// means there is none. False, and the failure committed, when the section
// could not be opened or was not left whole: the sizes a flush measures
// would then not describe whole entries.
bool finaliseSection(DumpSummary& summary, DumpNodalSection::DumpNodalType_t type, const uint8_t* image,
                     size_t tocAt, size_t dataAt, unsigned int index) {
    std::string toc = getText(image, tocAt, names::NAME_WIDTH);
    std::string data = getText(image, dataAt, names::NAME_WIDTH);
    if (toc.empty()) return true;
    if (data.empty()) trace("DumpSummary: section %s has no data file name", toc.c_str());
    Finalisation section(type, &summary);
    ErrlEntry* e = section.createNodalFiles(toc, data, index);
    if (!e && section.finaliseNow()) return true;
    trace("DumpSummary: section %s of dump 0x%08X not finalised", toc.c_str(), summary.getDumpId());
    e = e ? passedAt(e, kSectionNotWhole, index)
          : errorAt(kSectionNotWhole, RC_NOT_WHOLE, REASON_SUMMARY, index, type, summary.getDumpId());
    commit(withDetails(e, "Nodal section not finalised", toc));
    return false;
}

}  // namespace

void DumpSummary::setDumpComplete() {
    bool completed = false;
    {
        SummaryLockHold hold(*this);
        // Without the summary re-read the flag is not set: the image may
        // lack what others changed. The sections are finalised all the same
        // (names this object has not re-read are, at worst, the ones it knew).
        const bool summaryRead = updateStep(SUMMARY_REGION, ReadSummary(), false);
        trace("DumpSummary: completing dump 0x%08X, %s", iv_dumpId,
              be::getU16(iv_image.summary, sum::DUMP_FLAGS) & kDumpCompleteFlag ? "closed" : "open");
        ReadFileNames();
        const uint8_t* n = iv_image.fileNames;
        bool whole = true;
        for (unsigned int i = 0; i < names::NODAL_SLOTS; ++i) {
            whole = finaliseSection(*this, DumpNodalSection::HWDATA, n, names::nameSlot(names::HW_TOC_FILE_NAME, i),
                                    names::nameSlot(names::HW_DATA_FILE_NAME, i), i) && whole;
            whole = finaliseSection(*this, DumpNodalSection::SPDATA, n, names::nameSlot(names::SP_TOC_FILE_NAME, i),
                                    names::nameSlot(names::SP_DATA_FILE_NAME, i), i) && whole;
        }
        whole = finaliseSection(*this, DumpNodalSection::SYSDATA, n, names::SYS_TOC_FILE_NAME,
                                names::SYS_DATA_FILE_NAME, kSysSectionIndex) && whole;
        // A dump with a section that is not whole is not complete: its
        // stream would not describe whole entries. Nor is one whose sizes
        // did not reach the file: the flag vouches for them, so they go
        // first. Calling this again finalises and flushes again.
        if (summaryRead && whole) {
            if (flushHeld()) {
                uint8_t* s = iv_image.summary;
                be::putU16(s, sum::DUMP_FLAGS, be::getU16(s, sum::DUMP_FLAGS) | kDumpCompleteFlag);
                completed = updateStep(SUMMARY_REGION, writeSummary(), true);
            } else {
                ErrlEntry* e = takeError(*iv_file);
                e = e ? receivedAt(e, kSizesNotWritten, REASON_SUMMARY, 0, 0, iv_dumpId)
                      : errorAt(kSizesNotWritten, RC_NOT_WHOLE, REASON_SUMMARY, 0, 0, iv_dumpId);
                commit(withDetails(e, "Dump Summary Header file", iv_file->getFileName()));
            }
        }
    }
    trace("DumpSummary: dump 0x%08X %s", iv_dumpId, completed ? "complete" : "not completed");
    // A dump that was not completed still has its sizes brought up to date.
    if (!completed) commit(flush());
}
