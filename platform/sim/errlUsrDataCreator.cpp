// Base of the user-data sections: owns one buffer; addToLog attaches it,
// named after the derived class.
#include "platform/errlUsrDataCreator.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "platform/errlEntry.h"

namespace util {

ErrlUsrDataCreator::ErrlUsrDataCreator() = default;

ErrlUsrDataCreator::~ErrlUsrDataCreator() { std::free(iv_buffer); }

uint8_t* ErrlUsrDataCreator::allocUsrBuf(uint32_t size) {
    std::free(iv_buffer);
    iv_buffer = static_cast<uint8_t*>(std::calloc(size ? size : 1, 1));
    if (!iv_buffer) std::abort();
    iv_size = size;
    return iv_buffer;
}

void ErrlUsrDataCreator::addToLog(ErrlEntry* entry) const {
    if (!entry) return;
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* name = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string type = (status == 0 && name) ? name : mangled;
    std::free(name);
    entry->addUsrData(type, iv_buffer, iv_size);
}

}  // namespace util
