// SrciSrc and the allocation base of the error-log objects.
#include "platform/srciSrc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/bigEndian.h"
#include "platform/utilStream.h"


ErrlBase::~ErrlBase() = default;

void* ErrlBase::operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) std::abort();
    return p;
}

void ErrlBase::operator delete(void* p) noexcept { std::free(p); }

namespace {
const uint8_t kMagic[4] = {'S', 'R', 'C', 'I'};
constexpr uint8_t kVersion = 1;
}  // namespace

SrciSrc::SrciSrc() = default;
SrciSrc::SrciSrc(const SrciSrc& other) = default;
SrciSrc& SrciSrc::operator=(const SrciSrc& other) = default;
SrciSrc::~SrciSrc() = default;

SrciSrc::SrciSrc(uint16_t component, srciType type, uint32_t word, uint8_t fileNumber,
                 serviceCodes serviceCode, uint16_t reasonCode, uint32_t userWord1,
                 uint32_t userWord2, uint32_t userWord3, uint32_t userWord4,
                 epubSubSystem subsystem, srciTermState termState, srciSrcFormats format)
    : iv_component(component),
      iv_type(type),
      iv_word(word),
      iv_fileNumber(fileNumber),
      iv_serviceCode(serviceCode),
      iv_reasonCode(reasonCode),
      iv_userWords{userWord1, userWord2, userWord3, userWord4},
      iv_subsystem(subsystem),
      iv_termState(termState),
      iv_format(format) {}

uint32_t SrciSrc::userWord(unsigned index) const {
    return (index >= 1 && index <= 4) ? iv_userWords[index - 1] : 0;
}

void SrciSrc::setExtraData(const std::vector<uint8_t>& extra) {
    iv_extra.assign(extra.begin(), extra.begin() + std::min<size_t>(extra.size(), MAX_EXTRA));
}

std::string SrciSrc::getAsciiString() const {
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%04X", static_cast<unsigned>(iv_type),
                  static_cast<unsigned>(iv_subsystem), static_cast<unsigned>(iv_reasonCode));
    return text;
}

uint32_t SrciSrc::flattenedSize() const {
    return HEADER_SIZE + static_cast<uint32_t>(iv_extra.size());
}

void SrciSrc::flattenTo(uint8_t* p) const {
    std::memcpy(p, kMagic, 4);
    be::putU16(p, 4, static_cast<uint16_t>(flattenedSize()));
    be::putU8(p, 6, kVersion);
    be::putU8(p, 7, iv_type);
    be::putU16(p, 8, iv_component);
    be::putU16(p, 10, iv_reasonCode);
    be::putU16(p, 12, iv_serviceCode);
    be::putU8(p, 14, iv_subsystem);
    be::putU8(p, 15, iv_termState);
    be::putU8(p, 16, iv_format);
    be::putU8(p, 17, iv_fileNumber);
    be::putU16(p, 18, 0);
    be::putU32(p, 20, iv_word);
    for (int i = 0; i < 4; ++i) be::putU32(p, 24 + 4 * i, iv_userWords[i]);
    be::putU32(p, 40, static_cast<uint32_t>(iv_extra.size()));
    if (!iv_extra.empty()) std::memcpy(p + HEADER_SIZE, iv_extra.data(), iv_extra.size());
}

int SrciSrc::unflattenFrom(const uint8_t* p, uint32_t size, uint32_t& used) {
    if (size < HEADER_SIZE) return 1;
    if (std::memcmp(p, kMagic, 4) != 0 || be::getU8(p, 6) != kVersion) return 2;
    uint32_t extra = be::getU32(p, 40);
    if (extra > MAX_EXTRA || be::getU16(p, 4) != HEADER_SIZE + extra) return 3;
    if (size < HEADER_SIZE + extra) return 1;
    SrciSrc s(be::getU16(p, 8), static_cast<srciType>(be::getU8(p, 7)), be::getU32(p, 20),
              be::getU8(p, 17), static_cast<serviceCodes>(be::getU16(p, 12)), be::getU16(p, 10),
              be::getU32(p, 24), be::getU32(p, 28), be::getU32(p, 32), be::getU32(p, 36),
              static_cast<epubSubSystem>(be::getU8(p, 14)),
              static_cast<srciTermState>(be::getU8(p, 15)),
              static_cast<srciSrcFormats>(be::getU8(p, 16)));
    s.iv_extra.assign(p + HEADER_SIZE, p + HEADER_SIZE + extra);
    *this = s;
    used = HEADER_SIZE + extra;
    return 0;
}

int SrciSrc::flatten(UtilStream& stream) const {
    std::vector<uint8_t> image(flattenedSize());
    flattenTo(image.data());
    uint32_t n = stream.write(image.data(), static_cast<uint32_t>(image.size()));
    return n == image.size() ? 0 : 1;
}

int SrciSrc::unflatten(UtilStream& stream) {
    uint8_t header[HEADER_SIZE];
    if (stream.read(header, HEADER_SIZE) != HEADER_SIZE) return 1;
    if (std::memcmp(header, kMagic, 4) != 0 || be::getU8(header, 6) != kVersion) return 2;
    uint32_t extra = be::getU32(header, 40);
    if (extra > MAX_EXTRA || be::getU16(header, 4) != HEADER_SIZE + extra) return 3;
    std::vector<uint8_t> image(HEADER_SIZE + extra);
    std::memcpy(image.data(), header, HEADER_SIZE);
    if (extra && stream.read(image.data() + HEADER_SIZE, extra) != extra) return 1;
    uint32_t used = 0;
    return unflattenFrom(image.data(), static_cast<uint32_t>(image.size()), used);
}

bool SrciSrc::operator==(const SrciSrc& o) const {
    return iv_component == o.iv_component && iv_type == o.iv_type && iv_word == o.iv_word &&
           iv_fileNumber == o.iv_fileNumber && iv_serviceCode == o.iv_serviceCode &&
           iv_reasonCode == o.iv_reasonCode &&
           std::memcmp(iv_userWords, o.iv_userWords, sizeof iv_userWords) == 0 &&
           iv_subsystem == o.iv_subsystem && iv_termState == o.iv_termState &&
           iv_format == o.iv_format && iv_extra == o.iv_extra;
}
