// DumpNodalSection: one nodal section of a dump, a pair of files in
// /plat_dump that collectors fill item by item. The table-of-contents (TOC)
// file is a 48-byte big-endian header followed by one fixed-size entry per
// item; the data file holds the items' bytes back to back. Every append
// keeps the header on disk current; destruction checks the pair, repairs
// what an interrupted writer left (partial entries, items whose data never
// reached the data file), pads it to a multiple of 16 bytes and writes the
// final header. Both files are written through DumpUtilFile, so they are
// mirrored to the backup service processor.
//
// Ownership: the section owns its two file objects; the DumpSummary it is
// given is the caller's and must outlive it (it may be null: a hardware
// section then has content code 0 and a full file system is only traced).
// An ErrlEntry* returned belongs to the caller; failures met during
// destruction are committed there.
//
// Reporting points beyond the documented ones: writeEntry on a section
// whose files are not open returns dumpCreateErrorLog (rc 1, reason 0xF00B,
// location 0x19, word 0) from module 0x060F (service-processor items) or
// 0x070F (hardware items). A failed item is not counted; what it wrote
// stays, and the next item goes at the data file's end. When the data file
// cannot be measured, an item's offset is the header's data length (and,
// after a hardware item, the data length is where the item was to end).
#pragma once

#include <cstdint>
#include <string>

#include "dumpExport.h"

class DumpSummary;
class DumpUtilFile;
class ErrlEntry;
class orlaDataBuffer;

// One item of a service-processor or system section (12 bytes in the TOC).
// Members in host order; the library writes them big-endian.
struct DumpSpTocEntry {
    uint32_t entryId;     // set by the caller
    uint32_t dataOffset;  // set by writeEntry: the item's data-file offset
    uint32_t dataSize;    // set by the caller: the item's length in bytes
};

// One item of a hardware section (28 bytes in the TOC).
struct DumpHwTocEntry {
    uint32_t hwWord0;     // set by the caller
    uint32_t hwWord1;     // set by the caller
    uint32_t hwWord2;     // set by the caller
    uint32_t hwWord3;     // set by the caller
    uint32_t dataOffset;  // set by writeEntry
    uint32_t hwWord4;     // set by the caller; writeEntry puts the unused
                          // bits of the item's last byte into bits 20-22
    uint32_t dataSize;    // set by writeEntry: the buffer's byte length
};

class PLATDUMP_EXPORT DumpNodalSection {
public:
    enum DumpNodalType_t : int { HWDATA = 1, SPDATA = 2, SYSDATA = 3 };

    // No file is touched until createNodalFiles.
    DumpNodalSection(DumpNodalType_t type, DumpSummary* summary);
    // Finalises (repairs, pads, writes the final header), closes the pair.
    ~DumpNodalSection();
    DumpNodalSection(const DumpNodalSection&) = delete;
    DumpNodalSection& operator=(const DumpNodalSection&) = delete;

    // Opens or creates the pair. A name without any '/' becomes
    // "/plat_dump/<name>", in the caller's string too. An existing TOC of
    // 48 bytes or more is continued (its header is read back); otherwise a
    // fresh header with sectionIndex (low 16 bits) is written.
    ErrlEntry* createNodalFiles(std::string& tocName, std::string& dataName,
                                unsigned int sectionIndex);

    // Appends entry.dataSize bytes of data and the entry (service-processor
    // and system sections); sets entry.dataOffset.
    ErrlEntry* writeEntry(DumpSpTocEntry& entry, char* data);
    // Appends the buffer's bytes and the entry (hardware sections); sets
    // entry.dataOffset, entry.dataSize and bits 20-22 of entry.hwWord4.
    ErrlEntry* writeEntry(DumpHwTocEntry& entry, orlaDataBuffer& data);

    // Full paths of the two files; empty before createNodalFiles.
    std::string getTocFileName();
    std::string getDataFileName();

private:
    ErrlEntry* openTocFile(std::string& name, unsigned int sectionIndex);
    ErrlEntry* openDataFile(std::string& name);
    ErrlEntry* openSectionFile(DumpUtilFile*& file, std::string& name);
    ErrlEntry* readHeader();
    ErrlEntry* initHeader(unsigned int sectionIndex);

    bool filesOpen() const;
    ErrlEntry* appendToFile(DumpUtilFile& file, const void* buffer, uint32_t length);
    ErrlEntry* appendEntry(const uint8_t* entry, uint32_t entrySize, const void* data,
                           uint32_t dataLength);
    // Where the next item's data goes: the data file's end, or the header's
    // data length when the file cannot be measured.
    uint32_t dataFileEnd();
    // After an append: takes the data file's new end into the header and,
    // when the append succeeded, counts the entry and rewrites the header.
    // A failed append is returned (a hardware item's with its call point);
    // so is a service-processor item's failure to measure the data file
    // (call point 0x060F, 0xA). expectedEnd: where the item's bytes end.
    ErrlEntry* finishEntry(ErrlEntry* appended, uint32_t expectedEnd, bool hardwareItem);

    void finalise();
    bool repairTocLength(int64_t& tocEnd);
    bool dropIncompleteItems(int64_t& tocEnd, int64_t& dataEnd);
    ErrlEntry* padDataFile(uint32_t count);
    void writeFinalHeader();

protected:
    // Derived sections (DumpSystemNodal) read these; only this class
    // changes them.
    DumpUtilFile* iv_TOCFile;   // owned; null until createNodalFiles
    DumpUtilFile* iv_DataFile;  // owned; null until createNodalFiles
    DumpSummary* iv_Summary;    // not owned
    DumpNodalType_t iv_Type;
    uint8_t iv_Header[48];      // the TOC header, exactly as on disk
};
