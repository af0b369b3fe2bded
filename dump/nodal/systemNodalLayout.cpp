// Encoding of the system section's records.
#include "dump/nodal/systemNodalLayout.h"

#include <cstring>
#include <new>

#include "platform/bigEndian.h"

namespace dump {
namespace sysnodal {

static_assert(sizeof(ConnectionRecord_t::connectionType) == conn::TYPE_WIDTH &&
                  sizeof(ConnectionRecord_t::sessionName) == conn::NAME_WIDTH &&
                  sizeof(ConnectionRecord_t::replyText) == conn::REPLY_WIDTH,
              "the record's fields have their image's widths");

namespace {

// Text of at most width - 1 characters at image + offset (text is read no
// further, so it need not be terminated); the rest of the field stays as
// the caller zeroed it.
void putText(uint8_t* image, size_t offset, size_t width, const char* text) {
    std::memcpy(image + offset, text, strnlen(text, width - 1));
}

uint64_t roundUpToWord(uint64_t n) {
    return (n + RegistryPairRecord::WORD - 1) / RegistryPairRecord::WORD * RegistryPairRecord::WORD;
}

}  // namespace

void encodeConnectionRecord(const ConnectionRecord_t& record, uint8_t* image) {
    std::memset(image, 0, conn::SIZE);
    std::memcpy(image + conn::TYPE, record.connectionType, conn::TYPE_WIDTH);
    putText(image, conn::NAME, conn::NAME_WIDTH, record.sessionName);
    putText(image, conn::REPLY, conn::REPLY_WIDTH, record.replyText);
    be::putU8(image, conn::STATE, record.sessionState);
}

void encodeConnectionInfo(const ConnectionInfo_t& connections, uint8_t* image) {
    connections.managedInfo.flatten(image + info::MANAGED_INFO);
    for (unsigned int k = 0; k < ConnectionInfo_t::MAX_CONNECTIONS; ++k)
        encodeConnectionRecord(connections.connections[k], image + info::CONNECTIONS + k * conn::SIZE);
}

bool RegistryPairRecord::build(const char* name, uint64_t valueLength) {
    // The name area holds the name and at least one NUL, in whole words.
    const uint64_t nameArea = (std::strlen(name) + WORD) / WORD * WORD;
    const uint64_t valueAt = NAME + nameArea + WORD;
    const uint64_t size = valueAt + roundUpToWord(valueLength);
    if (size > UINT32_MAX) return false;
    // Only an exhausted heap fails the allocation.
    iv_image.reset(new (std::nothrow) uint8_t[size]());  // GCOVR_EXCL_BR_LINE
    if (!iv_image) return false;                         // GCOVR_EXCL_BR_LINE
    uint8_t* p = iv_image.get();
    be::putU32(p, NAME_AREA_SIZE, static_cast<uint32_t>(nameArea));
    std::memcpy(p + NAME, name, std::strlen(name));
    be::putU32(p, NAME + nameArea, static_cast<uint32_t>(valueLength));
    iv_size = static_cast<uint32_t>(size);
    iv_valueAt = static_cast<uint32_t>(valueAt);
    iv_valueLength = static_cast<uint32_t>(valueLength);
    return true;
}

}  // namespace sysnodal
}  // namespace dump
