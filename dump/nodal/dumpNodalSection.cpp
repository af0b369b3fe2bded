// DumpNodalSection: construction, opening or creating the file pair, and
// the TOC header's first read or first write.
#include "platdump/dumpNodalSection.h"

#include <cstring>

#include "dump/nodal/nodalFiles.h"
#include "dump/nodal/nodalLayout.h"
#include "dump/nodal/nodalRepairRules.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/mountPoint.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"

using namespace dump;
using namespace dump::nodal;

namespace {

constexpr Site kTocOpenFailed{0x030F, 4};
constexpr Site kDataOpenFailed{0x030F, 5};
constexpr Site kInitHeaderFailed{0x040F, 7};
constexpr Site kReadHeaderFailed{0x040F, 8};
constexpr Site kOpenExisting{0x0B0F, 0x13};
constexpr Site kCreateNew{0x0B0F, 0x14};
constexpr Site kInitHeaderSeek{0x0C0F, 0x15};
constexpr Site kInitHeaderWrite{0x0C0F, 0x16};
constexpr Site kReadHeaderSeek{0x0D0F, 0x17};
constexpr Site kReadHeaderRead{0x0D0F, 0x18};

constexpr uint32_t kSysContentCode = 1;
// A hardware section of a dump with one of these content types has
// content code 2.
constexpr uint32_t kHwCodedContentTypes[] = {0x400, 0x100};
constexpr uint32_t kHwCodedContentCode = 2;
constexpr uint32_t kSectionIndexMask = 0xFFFF;

// A bare file name lives in the repository.
void completeName(std::string& name) {
    if (name.find('/') != std::string::npos) return;
    name = std::string(kMountPoint) + "/" + name;
}

}  // namespace

DumpNodalSection::DumpNodalSection(DumpNodalType_t type, DumpSummary* summary)
    : iv_TOCFile(nullptr), iv_DataFile(nullptr), iv_Summary(summary), iv_Type(type), iv_Header{} {}

ErrlEntry* DumpNodalSection::createNodalFiles(std::string& tocName, std::string& dataName,
                                              unsigned int sectionIndex) {
    if (ErrlEntry* e = openTocFile(tocName, sectionIndex)) return passedAt(e, kTocOpenFailed);
    return passedAt(openDataFile(dataName), kDataOpenFailed);
}

ErrlEntry* DumpNodalSection::openTocFile(std::string& name, unsigned int sectionIndex) {
    if (iv_TOCFile) {
        trace("DumpNodalSection: TOC file %s already open", iv_TOCFile->getFileName());
        return nullptr;
    }
    if (ErrlEntry* e = openSectionFile(iv_TOCFile, name)) return e;
    // A TOC holding a whole header is continued; a shorter one starts anew.
    if (iv_TOCFile->size() >= repair::CONTINUED_TOC_MIN) return passedAt(readHeader(), kReadHeaderFailed);
    return passedAt(initHeader(sectionIndex), kInitHeaderFailed);
}

ErrlEntry* DumpNodalSection::openDataFile(std::string& name) {
    if (iv_DataFile) {
        trace("DumpNodalSection: data file %s already open", iv_DataFile->getFileName());
        return nullptr;
    }
    return openSectionFile(iv_DataFile, name);
}

ErrlEntry* DumpNodalSection::openSectionFile(DumpUtilFile*& file, std::string& name) {
    completeName(name);
    file = new DumpUtilFile(name.c_str());
    // An existing file is neither truncated nor validated.
    if (file->exists())
        return fileFailure(file->open("r+"), kOpenExisting, STEP_OPEN, 0, "Open existing file",
                           file->getFileName());
    return fileFailure(file->open("w+"), kCreateNew, STEP_CREATE, 0, "Create new file",
                       file->getFileName());
}

ErrlEntry* DumpNodalSection::readHeader() {
    iv_TOCFile->seek(0, UtilStream::START);
    if (ErrlEntry* e = fileFailure(*iv_TOCFile, kReadHeaderSeek, STEP_SEEK, 0, "Seeking to File"))
        return e;
    uint32_t count = iv_TOCFile->read(iv_Header, TOC_HEADER_SIZE);
    if (ErrlEntry* e = fileFailure(*iv_TOCFile, kReadHeaderRead, STEP_READ, 0, "Seeking to File"))
        return e;
    TocHeader h;
    h.decode(iv_Header, sizeof iv_Header);
    trace("DumpNodalSection: %s continued: %u of %u header bytes, %u entries, data %u",
          iv_TOCFile->getFileName(), count, TOC_HEADER_SIZE, h.entryCount, h.dataFileSize);
    return nullptr;
}

ErrlEntry* DumpNodalSection::initHeader(unsigned int sectionIndex) {
    TocHeader h;
    // The type is one of the enum's: only a cast makes another.
    if (const SectionKind* kind = sectionKind(iv_Type)) {  // GCOVR_EXCL_BR_LINE
        std::memcpy(h.sectionName, kind->name, strnlen(kind->name, sizeof h.sectionName));
        h.entrySize = kind->entrySize;
        if (iv_Type == SYSDATA) h.contentCode = kSysContentCode;
        if (iv_Type == HWDATA && iv_Summary) {
            uint32_t content = iv_Summary->getContentType();
            for (uint32_t coded : kHwCodedContentTypes)
                if (content == coded) h.contentCode = kHwCodedContentCode;
        }
    } else {
        trace("DumpNodalSection: unknown section type %d", static_cast<int>(iv_Type));  // GCOVR_EXCL_LINE
    }
    h.headerSize = TOC_HEADER_SIZE;
    h.version = TOC_HEADER_VERSION;
    h.layoutCode = TOC_LAYOUT_CODE;
    h.sectionIndex = static_cast<uint16_t>(sectionIndex & kSectionIndexMask);
    h.encode(iv_Header);

    iv_TOCFile->seek(0, UtilStream::START);
    if (ErrlEntry* e = fileFailure(*iv_TOCFile, kInitHeaderSeek, STEP_SEEK, 0, "Seeking to File"))
        return e;
    uint32_t count = iv_TOCFile->write(iv_Header, TOC_HEADER_SIZE);
    if (ErrlEntry* e = fileFailure(*iv_TOCFile, kInitHeaderWrite, STEP_WRITE, 0, "Seeking to File"))
        return e;
    if (count != TOC_HEADER_SIZE)
        trace("DumpNodalSection: header of %s: %u of %u bytes written", iv_TOCFile->getFileName(),
              count, TOC_HEADER_SIZE);
    return nullptr;
}

bool DumpNodalSection::filesOpen() const {
    return iv_TOCFile && iv_DataFile && iv_TOCFile->isOpen() && iv_DataFile->isOpen();
}

std::string DumpNodalSection::getTocFileName() {
    return iv_TOCFile ? iv_TOCFile->getFileName() : std::string();
}

std::string DumpNodalSection::getDataFileName() {
    return iv_DataFile ? iv_DataFile->getFileName() : std::string();
}
