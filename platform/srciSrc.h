// A system reference code (SRC): the identifying part of an error-log entry
// (type, reason code, service code, four user words) with optional extra
// bytes. Its flattened image is big-endian and self-describing:
//
//   offset  width  field
//        0      4  magic "SRCI"
//        4      2  image length (44 + extra bytes)
//        6      1  image version (1)
//        7      1  SRC type
//        8      2  component id
//       10      2  reason code
//       12      2  service code
//       14      1  subsystem
//       15      1  termination state
//       16      1  SRC format
//       17      1  file number
//       18      2  reserved (0)
//       20      4  word
//       24     16  user words 1 to 4
//       40      4  extra length n
//       44      n  extra bytes
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "errlBase.h"
#include "errlTypes.h"
#include "platformExport.h"

class UtilStream;

class PLATFORM_EXPORT SrciSrc : public ErrlBase {
public:
    static constexpr uint32_t HEADER_SIZE = 44;
    static constexpr uint32_t MAX_EXTRA = 0xFFFF - HEADER_SIZE;

    SrciSrc();
    SrciSrc(const SrciSrc& other);
    SrciSrc& operator=(const SrciSrc& other);
    SrciSrc(uint16_t component, srciType type, uint32_t word, uint8_t fileNumber,
            serviceCodes serviceCode, uint16_t reasonCode, uint32_t userWord1,
            uint32_t userWord2, uint32_t userWord3, uint32_t userWord4,
            epubSubSystem subsystem, srciTermState termState = SRCI_TERM_STATE_NONE,
            srciSrcFormats format = SRCI_FORMAT_NONE);
    ~SrciSrc() override;

    uint16_t component() const { return iv_component; }
    srciType type() const { return iv_type; }
    uint32_t word() const { return iv_word; }
    uint8_t fileNumber() const { return iv_fileNumber; }
    serviceCodes serviceCode() const { return iv_serviceCode; }
    uint16_t reasonCode() const { return iv_reasonCode; }
    epubSubSystem subsystem() const { return iv_subsystem; }
    srciTermState termState() const { return iv_termState; }
    srciSrcFormats format() const { return iv_format; }
    // index 1 to 4; 0 for any other index
    uint32_t userWord(unsigned index) const;

    // Extra bytes carried after the fixed part (at most MAX_EXTRA).
    void setExtraData(const std::vector<uint8_t>& extra);
    const std::vector<uint8_t>& extraData() const { return iv_extra; }

    // Text form: type, subsystem and reason code, e.g. "B181F00B".
    std::string getAsciiString() const;

    uint32_t flattenedSize() const;
    // Writes the image at the stream's position; 0 on success, else non-zero
    // with the stream's pending error left in the stream.
    int flatten(UtilStream& stream) const;
    // Reads an image at the stream's position; 0 on success, 1 when the
    // stream ended early, 2 when the magic or version is wrong, 3 when the
    // recorded length disagrees. On failure this SRC is left unchanged.
    int unflatten(UtilStream& stream);

    // Byte-buffer forms of the same image.
    void flattenTo(uint8_t* buffer) const;  // flattenedSize() bytes
    int unflattenFrom(const uint8_t* buffer, uint32_t size, uint32_t& used);

    bool operator==(const SrciSrc& other) const;
    bool operator!=(const SrciSrc& other) const { return !(*this == other); }

private:
    uint16_t iv_component = 0;
    srciType iv_type = SRCI_TYPE_NONE;
    uint32_t iv_word = 0;
    uint8_t iv_fileNumber = 0;
    serviceCodes iv_serviceCode = static_cast<serviceCodes>(0);
    uint16_t iv_reasonCode = 0;
    uint32_t iv_userWords[4] = {0, 0, 0, 0};
    epubSubSystem iv_subsystem = EPUB_UNKNOWN;
    srciTermState iv_termState = SRCI_TERM_STATE_NONE;
    srciSrcFormats iv_format = SRCI_FORMAT_NONE;
    std::vector<uint8_t> iv_extra;
};
