#include "demoFacts.h"

#include <iomanip>

#include "errlogJson.h"
#include "platform/errlEntry.h"

namespace platdump {

void demoCheck(ErrlEntry* entry, const std::string& what) {
    if (!entry) return;
    Json decoded = decodeEntry(*entry);
    delete entry;
    throw DemoFailure(what, decoded);
}

void DemoLog::step(const std::string& name, const std::string& text) {
    iv_out << std::setw(3) << std::right << ++iv_step << ". " << std::setw(12) << std::left << name << text << "\n";
    iv_out.flush();
}

void DemoLog::more(const std::string& text) {
    iv_out << std::string(17, ' ') << text << "\n";
    iv_out.flush();
}

}  // namespace platdump
