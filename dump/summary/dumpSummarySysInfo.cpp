// What the platform knows about the machine and the hypervisor when a dump
// is created: the machine type-model and IPL types text, and the Vosk info
// file left by the hypervisor (read only in hypervisor mode 1).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpErrl.h"
#include "platdump/dumpTypes.h"
#include "platdump/dumpUsrData.h"
#include "platform/errlEntry.h"
#include "platform/utilFile.h"
#include "platform/utilReg.h"

using namespace dump;

namespace {

constexpr uint16_t kReadVosk = 0x0913;
constexpr Site kHypModeSize{kReadVosk, 25};
constexpr Site kHypMode{kReadVosk, 26};
constexpr Site kVoskPath{kReadVosk, 32};
constexpr Site kVoskMissing{kReadVosk, 35};
constexpr Site kVoskOpen{kReadVosk, 21};
constexpr Site kVoskSeek{kReadVosk, 22};
constexpr Site kVoskSize{kReadVosk, 34};
constexpr Site kVoskRead{kReadVosk, 23};

constexpr uint16_t kTypeModelInfo = 0x0105;
constexpr Site kTypeModelRead{kTypeModelInfo, 3};
constexpr Site kCecIplRead{kTypeModelInfo, 4};
constexpr Site kTovIplRead{kTypeModelInfo, 5};

constexpr char kHypModeKey[] = "menu/HypMode";
constexpr char kVoskInfoKey[] = "dump/VoskInfo";
constexpr const char* kVoskRootKeys[] = {"fstp/P3_Root"};
constexpr char kTypeModelKey[] = "svpd/Raw_MachineTypeModel";
constexpr char kCecIplKey[] = "smgr/CecIplType";
constexpr char kTovIplKey[] = "smgr/TovIplType";

// Vosk info file: time word, word 1, word 2, then the payload.
constexpr size_t VOSK_TIME_WORD = 0;
constexpr size_t VOSK_WORD1 = 4;
constexpr size_t VOSK_WORD2 = 8;
constexpr size_t VOSK_PAYLOAD = 12;
constexpr uint64_t VOSK_USUAL_SIZE = 20;

constexpr size_t TYPE_MODEL_TEXT = 32;
constexpr uint32_t TYPE_MODEL_WIDTH = 8;
constexpr uint32_t IPL_TYPE_WIDTH = 4;
constexpr size_t IPL_TYPE_TEXT = 8;
constexpr size_t CURSOR_STEP = 12;
constexpr size_t CEC_TEXT_INDENT = 4;

struct VoskInfo {
    uint32_t timeWord = 0, word1 = 0, word2 = 0;
    std::vector<uint8_t> payload;
};

ErrlEntry* voskError(ErrlEntry* e, Site site, uint32_t word1, const char* key, const std::string& path) {
    return withDetails(receivedAt(e, site, REASON_REGISTRY, word1), key, path);
}

// Steps on the open Vosk info file; the caller closes it.
ErrlEntry* readVoskFile(UtilFile& file, const std::string& path, VoskInfo& out) {
    file.Open("r+", false);
    if (ErrlEntry* e = file.takeError()) return voskError(e, kVoskOpen, 0, "Vosk Info file", path);
    file.seek(0, UtilStream::START);
    if (ErrlEntry* e = file.takeError()) return voskError(e, kVoskSeek, 0, "Vosk File", path);
    uint64_t size = file.size();
    if (size != VOSK_USUAL_SIZE) trace("DumpSummary: Vosk info file of %llu bytes", static_cast<unsigned long long>(size));
    if (size <= VOSK_PAYLOAD)
        return withDetails(errorAt(kVoskSize, RC_FAILED, REASON_FILE, 6, static_cast<uint32_t>(size)),
                           "Vosk File", path);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t count = file.read(bytes.data(), static_cast<uint32_t>(size));
    if (ErrlEntry* e = file.takeError())
        return voskError(e, kVoskRead, static_cast<uint32_t>(size), "Vosk File", path);
    if (count != size) trace("DumpSummary: read %u of the Vosk info file", count);
    out.timeWord = be::getU32(bytes.data(), VOSK_TIME_WORD);
    out.word1 = be::getU32(bytes.data(), VOSK_WORD1);
    out.word2 = be::getU32(bytes.data(), VOSK_WORD2);
    out.payload.assign(bytes.begin() + VOSK_PAYLOAD, bytes.end());
    return nullptr;
}

// Reads a registry value of width bytes into a zeroed buffer; a failure is
// committed with the key and read length and false returned.
bool readReported(const char* key, uint8_t* buffer, uint32_t width, Site site) {
    uint32_t size = width;
    ErrlEntry* e = UtilReg::read(key, buffer, size);
    if (!e) return true;
    receivedAt(e, site, REASON_REGISTRY);
    dumpAddDetails(DumpUtilRegistryInfo(DUMP_COMPONENT_ID, key, 1, width), e);
    commit(e);
    return false;
}

// A 32-bit registry value as its "%08lX" text.
bool readIplType(const char* key, Site site, char (&text)[IPL_TYPE_TEXT + 1]) {
    uint8_t value[IPL_TYPE_WIDTH] = {0};
    if (!readReported(key, value, IPL_TYPE_WIDTH, site)) return false;
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(be::getU32(value, 0)));
    return true;
}

}  // namespace

ErrlEntry* DumpSummary::readVoskInfo(uint32_t& timeWord, uint32_t& word1, uint32_t& word2,
                                     std::vector<uint8_t>& payload, uint8_t& hypMode) {
    timeWord = word1 = word2 = 0;
    payload.clear();
    hypMode = 0;
    uint32_t size = 0;
    if (ErrlEntry* e = UtilReg::read(kHypModeKey, nullptr, size)) return passedAt(e, kHypModeSize, 0);
    if (size != 1) trace("DumpSummary: hypervisor mode of %u bytes", size);
    size = sizeof hypMode;
    if (ErrlEntry* e = UtilReg::read(kHypModeKey, &hypMode, size)) return passedAt(e, kHypMode, 0);
    if (hypMode != 1) return nullptr;

    char* rawPath = nullptr;
    uint32_t pathLength = 0;
    if (ErrlEntry* e = UtilReg::path(kVoskRootKeys, 1, kVoskInfoKey, rawPath, pathLength))
        return receivedAt(e, kVoskPath, REASON_REGISTRY);
    std::string path(rawPath ? rawPath : "");
    std::free(rawPath);

    UtilFile file(path.c_str());
    if (!file.exists())
        return withDetails(errorAt(kVoskMissing, RC_FAILED, REASON_FILE, 7), "Vosk File", path);
    VoskInfo info;
    ErrlEntry* e = readVoskFile(file, path, info);
    file.Close();
    if (file.hasError()) trace("DumpSummary: close of the Vosk info file failed");
    file.clearError();
    trace("DumpSummary: Vosk info %s", e ? "error" : "OK");
    if (e) return e;
    timeWord = info.timeWord;
    word1 = info.word1;
    word2 = info.word2;
    payload.swap(info.payload);
    return nullptr;
}

ErrlEntry* DumpSummary::readMachineTypeModelInfo(std::string& text, uint32_t& length) {
    text.assign(TYPE_MODEL_TEXT, ' ');
    length = TYPE_MODEL_TEXT;
    size_t cursor = 0;

    uint8_t typeModel[TYPE_MODEL_WIDTH] = {0};
    if (readReported(kTypeModelKey, typeModel, TYPE_MODEL_WIDTH, kTypeModelRead)) {
        text.replace(cursor, TYPE_MODEL_WIDTH, reinterpret_cast<const char*>(typeModel), TYPE_MODEL_WIDTH);
        cursor += CURSOR_STEP;
    }
    char ipl[IPL_TYPE_TEXT + 1];
    if (readIplType(kCecIplKey, kCecIplRead, ipl)) {
        text.replace(cursor + CEC_TEXT_INDENT, IPL_TYPE_TEXT, ipl, IPL_TYPE_TEXT);
        cursor += CURSOR_STEP;
    } else {
        cursor += CEC_TEXT_INDENT;
    }
    if (readIplType(kTovIplKey, kTovIplRead, ipl)) text.replace(cursor, IPL_TYPE_TEXT, ipl, IPL_TYPE_TEXT);
    return nullptr;
}
