// The failure-table wrappers over the exported helpers.
#include "dump/support/report.h"

#include "platdump/dumpErrl.h"
#include "platdump/dumpTypes.h"
#include "platdump/dumpUsrData.h"
#include "platform/utilStream.h"

namespace dump {

ErrlEntry* errorAt(Site site, ReturnCode rc, ReasonCode reason, uint32_t w1, uint32_t w2,
                   uint32_t w3) {
    return dumpCreateErrorLog(rc, reason, site.module, site.location, w1, w2, w3);
}

ErrlEntry* infoAt(Site site, ReturnCode rc, ReasonCode reason, uint32_t w1, uint32_t w2,
                  uint32_t w3) {
    return dumpCreateInfoLog(rc, reason, site.module, site.location, w1, w2, w3);
}

ErrlEntry* receivedAt(ErrlEntry* entry, Site site, ReasonCode reason, uint32_t w1, uint32_t w2,
                      uint32_t w3) {
    if (entry) addToReceivedError(entry, reason, site.module, site.location, w1, w2, w3);
    return entry;
}

ErrlEntry* passedAt(ErrlEntry* entry, Site site, uint32_t word) {
    dumpAddFunctionCallPoint(entry, site.module, site.location, word);
    return entry;
}

ErrlEntry* withDetails(ErrlEntry* entry, const std::string& key, const std::string& value) {
    if (entry) dumpAddDetails(DumpKeyValueStringInfo(DUMP_COMPONENT_ID, key, value), entry);
    return entry;
}

ErrlEntry* asInformational(ErrlEntry* entry) {
    if (entry) entry->setSev(ERRL_SEV_INFORMATIONAL);
    return entry;
}

ErrlEntry* takeError(UtilStream& stream) { return stream.takeError(); }

void commit(ErrlEntry*& entry) { dumpCommitAndFreeLog(entry); }

void discard(ErrlEntry*& entry) {
    delete entry;
    entry = nullptr;
}

}  // namespace dump
