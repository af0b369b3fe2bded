// DumpSummary's lifecycle: creating a new dump's summary file, opening an
// existing one, closing, removing, and the summary lock.
#include "platdump/dumpSummary.h"

#include <errno.h>

#include <cctype>
#include <cstring>

#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/mountPoint.h"
#include "dump/support/report.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/rtim.h"
#include "platform/srciSrc.h"
#include "platform/utilReg.h"

using namespace dump;

namespace {

// Both constructors report under one module id.
constexpr uint16_t kConstructors = 0x0113;
constexpr Site kCreateLockInit{kConstructors, 33};
constexpr Site kCreateExists{kConstructors, 9};
constexpr Site kCreateOpen{kConstructors, 10};
constexpr Site kCreateClock{kConstructors, 11};
constexpr Site kCreateSerial{kConstructors, 15};
constexpr Site kCreateInitSummary{kConstructors, 12};
constexpr Site kCreateSeek{kConstructors, 2};
constexpr Site kCreateWriteHeader{kConstructors, 5};
constexpr Site kCreateWriteNames{kConstructors, 13};
constexpr Site kCreateBadType{kConstructors, 0x30};
constexpr Site kOpenLockInit{kConstructors, 36};
constexpr Site kOpenMissing{kConstructors, 6};
constexpr Site kOpenOpen{kConstructors, 3};
constexpr Site kOpenRead{kConstructors, 24};
constexpr Site kOpenEyeCatcher{kConstructors, 39};
constexpr Site kOpenBadType{kConstructors, 0x31};
constexpr Site kRemove{0x0513, 31};

constexpr uint32_t HWU_ID_BITS = 0x0F000000;
constexpr char kDetailsKey[] = "Dump Summary Header file";
constexpr char kSerialKey[] = "svpd/Raw_MachineSerialNumber";
constexpr uint32_t kSerialBuffer = 32;
constexpr size_t kSerialLengthTraced = 7;
constexpr uint8_t kUnreadableClockByte = 0x11;
constexpr uint8_t kSummaryLockKey = 2;

ErrlEntry* summaryError(Site site, ReturnCode rc, uint32_t w1, uint32_t w2, const char* path) {
    return withDetails(errorAt(site, rc, REASON_FILE, w1, w2), kDetailsKey, path);
}

char* chars(uint8_t* p) { return reinterpret_cast<char*>(p); }

// Takes the file's pending error, which is only noted: the step's own log
// replaces it.
bool failed(DumpUtilFile& file) {
    ErrlEntry* pending = takeError(file);
    if (!pending) return false;
    discard(pending);
    return true;
}

// The opening constructor does not zero its images ahead of the reads that
// fill them: these clear an image from the first byte a read left unfilled,
// so that every byte is what a zeroed image read the same way holds. The
// summary's name slot keeps the path the open stored there.
void clearHeaderAndSummaryFrom(uint8_t* image, uint32_t from) {
    std::memset(image + from, 0, layout::HEADER_AND_SUMMARY_SIZE - from);
}
void clearFileNamesFrom(uint8_t* image, uint32_t from) {
    using namespace layout;
    constexpr uint32_t slot = names::SUMMARY_FILE_NAME;
    constexpr uint32_t slotEnd = slot + names::NAME_WIDTH;
    if (from < slot) std::memset(image + from, 0, slot - from);
    const uint32_t after = from > slotEnd ? from : slotEnd;
    std::memset(image + after, 0, FILE_NAMES_SIZE - after);
}

}  // namespace

DumpSummary::DumpSummary(typeOfSummary_t type, unsigned int id, ErrlEntry*& errl)
    : iv_dumpId(id),
      iv_file(),
      iv_image(),
      iv_summaryType(type),
      iv_cachedSrc(nullptr),
      iv_summaryLock(),
      iv_lockDepth(0),
      iv_clientRecord() {
    initLock(kCreateLockInit.module, kCreateLockInit.location);
    errl = createSummaryFile();
    trace("DumpSummary: dump 0x%08X %s", id, errl ? "not created" : "created");
}

// The images are filled by the open's reads; what no read reached is zeroed.
DumpSummary::DumpSummary(unsigned int id, ErrlEntry*& errl, typeOfSummary_t type)
    : iv_dumpId(id),
      iv_file(),
      iv_summaryType(type != 0 ? type : (id & HWU_ID_BITS) ? HWU : SYS),
      iv_cachedSrc(nullptr),
      iv_summaryLock(),
      iv_lockDepth(0),
      iv_clientRecord() {
    initLock(kOpenLockInit.module, kOpenLockInit.location);
    uint32_t headerBytes = 0;
    uint32_t nameBytes = 0;
    errl = openSummaryFile(headerBytes, nameBytes);
    clearHeaderAndSummaryFrom(iv_image.fileHeader, headerBytes);
    clearFileNamesFrom(iv_image.fileNames, nameBytes);
    if (errl) commit(removeSummaryFile());
    trace("DumpSummary: dump 0x%08X flags 0x%04X %s", id,
          be::getU16(iv_image.summary, layout::sum::DUMP_FLAGS), errl ? "not opened" : "opened");
}

DumpSummary::~DumpSummary() {
    if (iv_file) {
        if (iv_file->exists()) {
            commit(flush());
            iv_file->Close();
            if (iv_file->hasError()) trace("DumpSummary: close of dump 0x%08X failed", iv_dumpId);
            iv_file->clearError();
        } else {
            // The dump was deleted or its summary found damaged: whatever
            // it left behind is swept away.
            DumpCollections::removeOrphanedFiles();
        }
        iv_file.reset();
    }
    delete iv_cachedSrc;
}

void DumpSummary::initLock(uint16_t failureModule, uint8_t failureLocation) {
    iv_summaryLock.emplace(SEM_UNDO_FLAG_SETTING);
    if (ErrlEntry* e = iv_summaryLock->init("dump", kSummaryLockKey, 1))
        commit(passedAt(e, {failureModule, failureLocation}, iv_dumpId));
}

const char* DumpSummary::buildSummaryFileName(unsigned int id, typeOfSummary_t type) {
    uint8_t* names = iv_image.fileNames;
    const layout::KindInfo* kind = layout::kindInfo(type);
    if (!kind) {
        trace("DumpSummary: type %d of dump 0x%08X unknown", static_cast<int>(type), id);
        layout::putText(names, layout::names::SUMMARY_FILE_NAME, layout::names::NAME_WIDTH, "", 0);
        return chars(names + layout::names::SUMMARY_FILE_NAME);
    }
    if ((type == SYS && (id & HWU_ID_BITS)) || (type == HWU && !(id & HWU_ID_BITS)))
        trace("DumpSummary: id 0x%08X does not fit type %d", id, static_cast<int>(type));
    // The mount point, '/', the prefix, the id as 8 upper-case hex digits,
    // the suffix: built by hand, as every extraction request opens it.
    char text[sizeof kMountPoint + 1 + layout::FILE_PREFIX_LENGTH + layout::FILE_ID_DIGITS +
              sizeof layout::SUMMARY_FILE_SUFFIX];
    char* at = text;
    auto put = [&at](const char* piece, size_t length) {
        std::memcpy(at, piece, length);
        at += length;
    };
    put(kMountPoint, sizeof kMountPoint - 1);
    *at++ = '/';
    put(kind->filePrefix, strnlen(kind->filePrefix, layout::FILE_PREFIX_LENGTH));
    for (int shift = 28; shift >= 0; shift -= 4) *at++ = "0123456789ABCDEF"[(id >> shift) & 0xF];
    put(layout::SUMMARY_FILE_SUFFIX, sizeof layout::SUMMARY_FILE_SUFFIX);  // with its NUL
    // Prefix and id have fixed widths: the name always fits.
    if (at - text > static_cast<ptrdiff_t>(layout::names::NAME_WIDTH)) trace("DumpSummary: path %s too long", text);  // GCOVR_EXCL_BR_LINE
    layout::putText(names, layout::names::SUMMARY_FILE_NAME, layout::names::NAME_WIDTH, text,
                    layout::names::NAME_MAX_LENGTH);
    return chars(names + layout::names::SUMMARY_FILE_NAME);
}

ErrlEntry* DumpSummary::createSummaryFile() {
    const char* path = buildSummaryFileName(iv_dumpId, iv_summaryType);
    if (!*path) return errorAt(kCreateBadType, RC_FAILED, REASON_FILE, iv_dumpId, iv_summaryType);
    iv_file.emplace(path);
    path = iv_file->getFileName();  // the object's copy: the image's slot changes with the names
    if (iv_file->exists()) return summaryError(kCreateExists, RC_FAILED, iv_dumpId, 0, path);
    if (ErrlEntry* e = iv_file->open("w+")) {
        discard(e);
        return summaryError(kCreateOpen, RC_FAILED, 0, 0, path);
    }

    BCD_time8_t now;
    uint32_t status = 0;
    if (ErrlEntry* e = rtim_GetTimeOfDay(now, status, true, false, false, false)) {
        commit(receivedAt(e, kCreateClock, REASON_TIME, status));
        std::memset(&now, kUnreadableClockByte, sizeof now);
    }
    be::putU8(iv_image.summary, layout::sum::CREATION_FLAG, layout::sum::CREATION_FLAG_VALUE);

    char serial[kSerialBuffer + 1] = {0};  // one byte more keeps it terminated
    uint32_t length = kSerialBuffer;
    if (ErrlEntry* e = UtilReg::read(kSerialKey, serial, length))
        return receivedAt(e, kCreateSerial, REASON_REGISTRY);
    if (length > kSerialBuffer - 1 || std::strlen(serial) > kSerialLengthTraced)
        trace("DumpSummary: serial number of %u bytes", length);
    for (char* c = serial; *c; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));

    initFileHeader(iv_dumpId, iv_summaryType, serial, now);
    // initSummary commits each failure itself and returns no entry.
    if (ErrlEntry* e = initSummary(iv_dumpId, iv_summaryType, serial, now))  // GCOVR_EXCL_BR_LINE
        commit(passedAt(e, kCreateInitSummary, iv_dumpId));                   // GCOVR_EXCL_LINE

    // The byte counts are not examined: a write cut short by the free-space
    // floor without a file error does not fail creation.
    iv_file->seek(layout::FILE_HEADER_OFFSET, UtilStream::START);
    if (failed(*iv_file)) return errorAt(kCreateSeek, RC_FAILED, REASON_FILE);
    iv_file->write(iv_image.fileHeader, layout::HEADER_AND_SUMMARY_SIZE);
    if (failed(*iv_file)) return errorAt(kCreateWriteHeader, RC_FAILED, REASON_FILE);
    // A failed seek to the file names is only traced; its error stays
    // pending, and the write after it, which takes it, fails creation.
    if (iv_file->seek(layout::FILE_NAMES_OFFSET, UtilStream::START) != layout::FILE_NAMES_OFFSET)
        trace("DumpSummary: seek to the file names of %s failed", path);
    iv_file->write(iv_image.fileNames, layout::FILE_NAMES_SIZE);
    if (failed(*iv_file)) return errorAt(kCreateWriteNames, RC_FAILED, REASON_FILE);
    return nullptr;
}

ErrlEntry* DumpSummary::openSummaryFile(uint32_t& headerBytes, uint32_t& nameBytes) {
    const char* path = buildSummaryFileName(iv_dumpId, iv_summaryType);
    if (!*path) return errorAt(kOpenBadType, RC_FAILED, REASON_FILE, iv_dumpId, iv_summaryType);
    iv_file.emplace(path);
    path = iv_file->getFileName();  // the object's copy: the image's slot changes with the names
    if (!iv_file->exists()) return summaryError(kOpenMissing, RC_SUMMARY_MISSING, iv_dumpId, 0, path);
    if (ErrlEntry* e = iv_file->open("r+")) {
        discard(e);
        return summaryError(kOpenOpen, RC_FAILED, 2, iv_dumpId, path);
    }
    uint32_t count = headerBytes = iv_file->read(iv_image.fileHeader, layout::HEADER_AND_SUMMARY_SIZE);
    clearHeaderAndSummaryFrom(iv_image.fileHeader, count);  // now: its eye-catcher is looked at below
    if (count != layout::HEADER_AND_SUMMARY_SIZE) trace("DumpSummary: read %u of %s", count, path);
    if (failed(*iv_file)) return summaryError(kOpenRead, RC_FAILED, 5, iv_dumpId, path);

    if (be::getU32(iv_image.summary, layout::sum::DUMP_ID) != iv_dumpId)
        trace("DumpSummary: %s holds dump 0x%08X", path,
              be::getU32(iv_image.summary, layout::sum::DUMP_ID));
    if (layout::kindOfEyeCatcher(iv_image.summary + layout::sum::EYE_CATCHER) == 0)
        return errorAt(kOpenEyeCatcher, RC_FAILED, REASON_FILE, iv_dumpId);

    // A short or failed read of the file names is only traced: the dump
    // opens, and a pending error stays with the file.
    count = nameBytes = iv_file->read(iv_image.fileNames, layout::FILE_NAMES_SIZE);
    if (count != layout::FILE_NAMES_SIZE || iv_file->hasError())
        trace("DumpSummary: file names of %s: read %u%s, opened all the same", path, count,
              iv_file->hasError() ? ", error pending" : "");
    return nullptr;
}

ErrlEntry* DumpSummary::removeSummaryFile() {
    if (!iv_file || !iv_file->exists()) {
        trace("DumpSummary: no summary file of dump 0x%08X to remove", iv_dumpId);
        return nullptr;
    }
    lockExclusive();
    iv_file->Close();
    // The removal takes the file's pending error: a failed close's too.
    ErrlEntry* e = iv_file->remove();
    if (e) receivedAt(e, kRemove, REASON_FILE, static_cast<uint32_t>(errno));
    unlockExclusive();
    trace("DumpSummary: removed %s", iv_file->getFileName());
    return e;
}

// No caller examines what taking or giving back the lock returns: a
// failure is traced and its entry deleted.
void DumpSummary::lockExclusive() {
    if (iv_lockDepth++ > 0) return;
    if (ErrlEntry* e = iv_summaryLock->Down(1)) {
        trace("DumpSummary: summary lock not taken for dump 0x%08X", iv_dumpId);
        discard(e);
    }
}

void DumpSummary::unlockExclusive() {
    if (iv_lockDepth == 0 || --iv_lockDepth > 0) return;
    ErrlEntry* e = iv_summaryLock->Up(1);
    if (!e) return;
    trace("DumpSummary: summary lock not given back for dump 0x%08X", iv_dumpId);
    discard(e);
    // Left open: what follows a release that fails. A hold that is not
    // given back would keep every summary user of every process waiting
    // for ever: the semaphore object is made anew, and the old one gives
    // back what it holds as it goes.
    iv_summaryLock.emplace(SEM_UNDO_FLAG_SETTING);
    if (ErrlEntry* renewed = iv_summaryLock->init("dump", kSummaryLockKey, 1)) {
        trace("DumpSummary: summary lock of dump 0x%08X not set up again", iv_dumpId);
        discard(renewed);
    }
}

unsigned int DumpSummary::getDumpId() const { return iv_dumpId; }

DumpSummary::typeOfSummary_t DumpSummary::GetSummaryType() const { return iv_summaryType; }
