// One entry of the service processor's error log: a primary SRC plus
// further SRCs, software call points, procedure callouts, collected trace
// buffers and user-data sections.
//
// Ownership: an operation that can fail returns an ErrlEntry* that the
// receiver owns (it commits, hands up or deletes it); null means success.
// commit() files a copy in the error log and leaves the entry with its
// holder, who still deletes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "errlBase.h"
#include "errlTypes.h"
#include "platformExport.h"
#include "srciSrc.h"

struct ErrlCallout {
    srciPriority priority;
    epubProcedureID procedure;
};

struct ErrlCallPoint {
    uint16_t component;
    uint16_t function;  // module id & 0xFF00
    uint8_t file;       // module id & 0x00FF
    uint8_t location;
    uint32_t word;
};

struct ErrlTrace {
    std::string buffer;
    std::vector<std::string> lines;
};

struct ErrlUserData {
    std::string type;  // the section's class, e.g. "DumpKeyValueStringInfo"
    std::vector<uint8_t> bytes;
};

class PLATFORM_EXPORT ErrlEntry : public ErrlBase {
public:
    // SRC form: the primary SRC is built from these fields.
    ErrlEntry(uint16_t component, errlSeverity severity, errlEventType eventType,
              srciType type, uint32_t word, uint8_t fileNumber, serviceCodes serviceCode,
              uint16_t reasonCode, uint32_t userWord1, uint32_t userWord2,
              uint32_t userWord3, uint32_t userWord4, epubSubSystem subsystem,
              srciTermState termState, srciSrcFormats format);
    // Copy form: the primary SRC is a copy of src.
    ErrlEntry(uint16_t component, errlSeverity severity, errlEventType eventType,
              const SrciSrc& src);
    ~ErrlEntry() override;
    ErrlEntry(const ErrlEntry&) = delete;
    ErrlEntry& operator=(const ErrlEntry&) = delete;

    void addSRC(uint16_t component, srciType type, uint32_t word, uint8_t fileNumber,
                serviceCodes serviceCode, uint16_t reasonCode, uint32_t userWord1,
                uint32_t userWord2, uint32_t userWord3, uint32_t userWord4,
                epubSubSystem subsystem);
    // Index 0 is the primary SRC; null beyond the last.
    const SrciSrc* getSRC(uint32_t index) const;
    uint32_t srcCount() const { return static_cast<uint32_t>(iv_srcs.size()); }

    void setRC(uint32_t rc) { iv_rc = rc; }
    uint32_t getRC() const { return iv_rc; }
    void setSev(errlSeverity severity) { iv_severity = severity; }
    errlSeverity getSev() const { return iv_severity; }
    errlEventType getEventType() const { return iv_eventType; }
    uint16_t getCreator() const { return iv_creator; }

    void addSwErr(uint16_t component, uint16_t function, uint8_t fileNumber,
                  uint8_t location, uint32_t word);
    void addProcedureCallout(srciPriority priority, epubProcedureID procedure);
    // Attaches the recent lines of this process's trace buffer bufferName;
    // size 0 means the platform's default amount.
    void CollectTrace(const char* bufferName, uint32_t size);
    // Attaches one user-data section (util::ErrlUsrDataCreator::addToLog).
    void addUsrData(const std::string& type, const uint8_t* data, uint32_t size);

    // Files the entry in the platform's error log.
    void commit(uint16_t component, uint32_t flags, errlSeverity severity,
                errlEventType eventType);

    uint32_t plid() const { return iv_plid; }
    uint32_t eid() const { return iv_eid; }

    const std::vector<ErrlCallout>& callouts() const { return iv_callouts; }
    const std::vector<ErrlCallPoint>& callPoints() const { return iv_callPoints; }
    const std::vector<ErrlTrace>& traces() const { return iv_traces; }
    const std::vector<ErrlUserData>& userData() const { return iv_userData; }

    // Byte image of the whole entry (big-endian, self-describing).
    uint32_t flattenedSize() const;
    // 0 on success; non-zero when size is too small or the call fails.
    uint32_t flatten(void* buffer, uint32_t size) const;
    // Rebuilds an entry from flatten's image; null when the image is damaged.
    static ErrlEntry* unflatten(const void* buffer, uint32_t size);

    // The committed record: one JSON object (the error log's line format).
    std::string toJson() const;

private:
    ErrlEntry(uint16_t component, errlSeverity severity, errlEventType eventType);

    uint16_t iv_creator;
    errlSeverity iv_severity;
    errlEventType iv_eventType;
    uint32_t iv_rc = 0;
    uint32_t iv_plid = 0;
    uint32_t iv_eid = 0;
    std::vector<SrciSrc> iv_srcs;
    std::vector<ErrlCallout> iv_callouts;
    std::vector<ErrlCallPoint> iv_callPoints;
    std::vector<ErrlTrace> iv_traces;
    std::vector<ErrlUserData> iv_userData;
    // Set by commit(): what the entry was filed with.
    struct CommitInfo {
        bool done = false;
        uint16_t component = 0;
        uint32_t flags = 0;
        uint8_t severity = 0;
        uint8_t eventType = 0;
    } iv_commit;
};
