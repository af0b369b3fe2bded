// DumpSummary: the handle of one dump's summary file in /plat_dump, the
// dump's record. The creating constructor makes the file for a new dump;
// the opening constructor reads and validates an existing one. Getters
// re-read their region from the file on every call; setters change one
// region under the summary lock (one lock for all summaries of all
// processes), so concurrent users on the same dump lose nothing.
//
// Ownership: the caller owns the DumpSummary, which owns its open file, the
// images of the file's regions, its cached SRC and its client record. An
// ErrlEntry* handed back (also through a constructor's errl) belongs to the
// receiver. A constructor that fails still yields an object to destroy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dumpExport.h"
#include "dumpTypes.h"
#include "dumpUtilFile.h"
#include "platform/rtim.h"
#include "platform/utilSemaphore.h"

struct _dumpstate;
class DumpList;
class ErrlEntry;
class SrciSrc;

class PLATDUMP_EXPORT DumpSummary {
public:
    // 0, where a summary is opened, takes the kind from the id: HWU when
    // id & 0x0F000000 is not 0, else SYS. Any other value is refused.
    enum typeOfSummary_t : int { HWU = 1, SYS = 2, RSC = 3 };

    // ---- Lifecycle -------------------------------------------------------
    // Creates dump id: the summary file must not exist yet.
    DumpSummary(typeOfSummary_t type, unsigned int id, ErrlEntry*& errl);
    // Opens existing dump id; a summary that cannot be opened, read or
    // validated is removed, here and on the backup.
    DumpSummary(unsigned int id, ErrlEntry*& errl,
                typeOfSummary_t type = static_cast<typeOfSummary_t>(0));
    ~DumpSummary();
    DumpSummary(const DumpSummary&) = delete;
    DumpSummary& operator=(const DumpSummary&) = delete;

    // Closes and removes the summary file and its mirror; the file's pending
    // error after the removal (a failed close's or the removal's) or null.
    // Afterwards the object must only be destroyed.
    ErrlEntry* removeSummaryFile();

    // The summary lock ("dump", key 2): the semaphore is not recursive;
    // a hold nested in this object's own hold is counted, not taken again.
    // A failure is committed. A hold that cannot be given back (the entry
    // gets call point module 0x0E13, location 1) is dropped with the
    // semaphore object, which is made anew (a failure of its init: location
    // 2), so that no other summary user waits for ever.
    void lockExclusive();
    void unlockExclusive();

    unsigned int getDumpId() const;
    typeOfSummary_t GetSummaryType() const;
    // The dump's offload stream as a new block list (the caller owns it;
    // its blocks point into this object, which must outlive the reads).
    DumpList* buildDumpList(uint8_t useTce, bool includeMainStore);

    // ---- Region primitives: seek, transfer the whole region, return the
    // bytes moved. A failed seek, a short count or a pending file error is
    // traced only (the pending error stays); the transfer follows the seek
    // whatever it did. ----
    uint32_t ReadFileHeader();
    uint32_t ReadSummary();
    uint32_t ReadFileNames();
    uint32_t writeFileHeader();
    uint32_t writeSummary();
    uint32_t writeFileNames();

    // ---- Getters (each re-reads its region) -------------------------------
    unsigned long long getTotalDumpSize();
    unsigned int getSystemLogId();
    unsigned short getFileHeaderSize();
    unsigned short getDumpFlags();
    unsigned short getHWErrorFlags();
    unsigned long long getMemoryDumpErrorFlags();
    unsigned int getHWDumpTotalSize();
    unsigned int getMDRTTableSize();
    unsigned long long getMDRTAddress();
    unsigned long long getMSDataSize();
    unsigned int getContentType();
    unsigned int getFailingUnitId();
    unsigned int GetPrivateFlags();
    // False, name untouched, when the dump has no resource dump file.
    bool getResourceDumpFileName(std::string& name);
    bool getSummaryFileName(std::string& name);

    // ---- Setters (lock, re-read the region, change, write it, unlock). A
    // short or failed re-read or write-back is traced only: the setter goes
    // on with the image as it then is. ----
    void setPLId(unsigned int logId);
    void setDumpSRCSize(unsigned int size);
    void setDumpSRC(char* src, unsigned int length);
    void setToolType(unsigned int toolType);
    void setClientId(char* clientId);
    void setUserId(char* userId);
    void setDumpFlags(unsigned short flags);
    void setDumpFlagsByMask(unsigned short mask);
    void setHardwareErrorFlags(unsigned short mask);
    void clearHardwareErrorFlags(unsigned short mask);
    void setHardwareObjectModel(unsigned short model);
    void setMemoryDumpErrorFlags(unsigned long long flags);
    void setMemoryDumpErrorFlagsByMask(unsigned long long mask);
    void setMemoryDumpStartTime(BCD_time8_t time);
    void setMemoryDumpCompletionTime(BCD_time8_t time);
    void setHardwareCollectionStartTime(BCD_time8_t time);
    void setHardwareCollectionEndTime(BCD_time8_t time);
    void setHypMode(unsigned int mode);
    void setHardwareNodeCount(unsigned short count);
    void setMDRTTableSize(unsigned int size);
    void setMDRTAddress(unsigned long long address);
    void setMemoryDumpSize(unsigned long long size);
    void setFailingUnitId(unsigned int unitId);
    void setContent(unsigned int contentType);
    void setMainstorePriority(unsigned short priority);
    // Nodal slot i (0 to 9; a larger index is refused and nothing is
    // touched). The data file's name comes first, the TOC's second.
    void SetHWDATAFileNames(unsigned int i, std::string& data, std::string& toc);
    void SetSPDATAFileNames(unsigned int i, std::string& data, std::string& toc);
    void SetSYSDATAFileNames(std::string& data, std::string& toc);
    void setMDRTFileName(std::string& name, unsigned int size);
    void setMDSTFileName(std::string& name, unsigned int size);
    void setResourceDumpFileName(std::string& name);
    void SetTotalHDCTItemCount(unsigned int count);
    void IncrementFinishedHDCTItemCount();
    // These four return the new value.
    unsigned int IncrementTCEErrorCount();
    unsigned int IncrementDMAErrorCount();
    unsigned int SetPrivateFlagsByMask(unsigned int mask);
    unsigned int ClearPrivateFlagsByMask(unsigned int mask);

    // ---- Flush -------------------------------------------------------------
    // Measures every named nodal file, recomputes the derived size fields
    // and writes the three regions only when a byte of them changed, so an
    // unchanged dump costs no write and no mirroring. The region reads'
    // results are not checked; a file that cannot be opened gets the size
    // its unopened object reports (0). Takes the summary lock itself: never
    // call it while holding the lock. Always null.
    ErrlEntry* flush();
    // Finalises every nodal section the summary names (each reopened and
    // closed at once: repaired, padded, final header), sets
    // dumpCompleteFlag and writes the summary region, gives the lock back,
    // then flushes (which takes it again). A section that cannot be opened
    // is traced and its log deleted; nothing is reported.
    void setDumpComplete();

    // ---- The dump's reference code --------------------------------------
    // Keeps a copy of src (the object's cached SRC), stores its flattened
    // image after the file's regions and its first 332 bytes in dumpSrc.
    // Always null: every failure is traced and the next step runs.
    ErrlEntry* SaveFlattenedSRC(SrciSrc& src);
    // The cached SRC, else the one rebuilt from the file; null when the
    // dump has none or it cannot be read (that failure is committed). The
    // object keeps ownership: the caller must not delete it.
    SrciSrc* getSrc();

    // ---- Collection failures (each one lock hold; nothing is returned) ---
    // ORs errorFlags into memoryDumpErrorFlags, sets
    // mainstoreCollectionFailedFlag and zeroes mdrtTableSize.
    void mainstoreCollectionFailed(unsigned long long errorFlags);
    // ORs errorFlags into hwErrorFlags and sets hwSysCollectionFailedFlag;
    // the first setting of hwErrorFlags bit 0x0200 commits an error log.
    void hwSysCollectionFailed(unsigned int errorFlags);
    // Withdraws the main-store data of a dump that has it: flags, sizes,
    // and the MDRT file, here and on the backup. Nothing when
    // mainstoreDumpExistsFlag is clear.
    void ClearMainstoreDumpExistFlag(unsigned long long errorFlags);

    // ---- Dump state and progress: each re-reads the file, takes no lock
    // and changes nothing ---------------------------------------------------
    // Fills the caller's record, whose size must be at least 92 (a smaller
    // one is refused: nothing is written). False, record untouched, when
    // the summary cannot be read.
    bool PopulateDumpState(_dumpstate* record);
    // Percent of the hardware items collected, rounded; 100 once hardware
    // collection is done or the dump complete; 0 while no total is known.
    unsigned int GetHardwareDumpProgress();
    // Percent of the whole dump: with a main-store phase the hardware
    // items give 0 to 60, the private step 80; 100 once complete.
    unsigned int GetDumpProgress();
    bool isDumpComplete();
    // Appends the dump's nodal TOC and data files, MDRT and resource dump
    // file; true when list is not empty afterwards.
    bool getIntermediateFileNames(std::vector<std::string>& list);
    // The object's client record refilled from the summary; valid while
    // the object lives.
    DumpClientRecord_t* GetDumpClientRecord();

private:
    enum region_t { FILE_HEADER_REGION, SUMMARY_REGION, FILE_NAMES_REGION };

    // Images of the file's three regions, byte for byte as in the file and
    // contiguous in file order: the first 1232 bytes are one image.
    struct Regions {
        uint8_t fileHeader[208];
        uint8_t summary[1024];
        uint8_t fileNames[3140];
    };
    static_assert(offsetof(Regions, summary) == 208 && offsetof(Regions, fileNames) == 1232 &&
                      sizeof(Regions) == 4372,
                  "the region images are contiguous");

    // Region access and the update protocol (one helper for every setter):
    // lock, re-read region, let change edit its image, write the region
    // back unless change returns false, unlock.
    uint8_t* image(region_t region);
    uint32_t readRegion(region_t region);
    uint32_t writeRegion(region_t region);
    const uint8_t* reread(region_t region);
    // dumpFlags as the summary image holds them, without a read: the
    // extraction driver checks the flags its open of the summary has just
    // read (the list's locked re-read follows).
    friend class DumpExtractData;
    unsigned short dumpFlagsAsRead() const;
    void updateRegion(region_t region, const std::function<bool(uint8_t* image)>& change);
    void setNodalNames(const char* kind, size_t tocBase, size_t dataBase, unsigned int i,
                       const std::string& data, const std::string& toc);
    void setTableFileName(size_t nameOffset, size_t sizeOffset, const std::string& name,
                          unsigned int size);

    // Creation and opening, the constructors' steps after the lock.
    // Makes the lock's semaphore object (anew) and initialises it; a
    // failure is committed with a call point at (module, location).
    void initLock(uint16_t failureModule, uint8_t failureLocation);
    ErrlEntry* createSummaryFile();
    // Counts in headerBytes and nameBytes the bytes of each image its reads
    // filled.
    ErrlEntry* openSummaryFile(uint32_t& headerBytes, uint32_t& nameBytes);
    // Stores the summary's path in summaryFileName of the file names image
    // and returns that slot (empty for an unknown type).
    const char* buildSummaryFileName(unsigned int id, typeOfSummary_t type);

    // Bytes of the nodal data files: nodalDataSize once the dump is
    // complete, else the files measured now.
    uint32_t nodalDataBytes();

    // Gathering a new dump's record.
    void initFileHeader(unsigned int id, typeOfSummary_t type, const char* serial,
                        const BCD_time8_t& time);
    ErrlEntry* initSummary(unsigned int id, typeOfSummary_t type, const char* serial,
                           const BCD_time8_t& time);
    ErrlEntry* readVoskInfo(uint32_t& timeWord, uint32_t& word1, uint32_t& word2,
                            std::vector<uint8_t>& payload, uint8_t& hypMode);
    ErrlEntry* readMachineTypeModelInfo(std::string& text, uint32_t& length);

    unsigned int iv_dumpId;
    std::optional<DumpUtilFile> iv_file;  // empty when none could be made
    Regions iv_image;
    typeOfSummary_t iv_summaryType;
    SrciSrc* iv_cachedSrc;          // owned, may be null
    std::optional<UtilSemaphore> iv_summaryLock;  // made by initLock
    // Holds of the summary lock by this object: a nested hold (a nodal
    // section marking the summary while setDumpComplete holds it) neither
    // takes the lock again nor gives it back early.
    unsigned int iv_lockDepth;
    DumpClientRecord_t iv_clientRecord;
};
