#include "redfishJson.h"

#include "entryId.h"
#include "router.h"

namespace platdump::serve {

namespace {

constexpr const char* kBaseRegistry = "Base.1.18.";
constexpr const char* kResourceEvents = "ResourceEvent.1.3.";

Json link(const std::string& path) { return Json{{"@odata.id", path}}; }

Json resource(const std::string& path, const char* type, const std::string& id, const std::string& name) {
    return Json{{"@odata.id", path}, {"@odata.type", type}, {"Id", id}, {"Name", name}};
}

Json collection(const std::string& path, const char* type, const std::string& name, const Json& members) {
    return Json{{"@odata.id", path},
                {"@odata.type", type},
                {"Name", name},
                {"Members@odata.count", members.size()},
                {"Members", members}};
}

Json oem(Json facts) { return Json{{odata::kOem, std::move(facts)}}; }

Json entryOem(const EntryFacts& e) {
    return Json{{"Kind", e.kind},
                {"DumpFileName", e.dumpFileName},
                {"Complete", e.complete},
                {"Progress", e.progress},
                {"SRC", e.src.empty() ? Json(nullptr) : Json(e.src)},
                {"DumpFlags", e.dumpFlags},
                {"DumpFlagNames", e.dumpFlagNames},
                {"HardwareErrorFlags", e.hwErrorFlags},
                {"MemoryDumpErrorFlags", e.memoryDumpErrorFlags},
                {"ContentType", e.contentType},
                {"DataSizeBytes", e.dataSize},
                {"HoldsMainStore", e.holdsMainStore},
                {"MainStoreAttachmentSizeBytes", e.complete ? Json(e.mainStoreStreamSize) : Json(nullptr)},
                {"MainStoreAttachmentURI",
                 e.holdsMainStore ? Json(paths::attachment(e.id) + "?mainstore=true") : Json(nullptr)}};
}

}  // namespace

Json versionsJson() { return Json{{"v1", std::string(paths::kRoot) + "/"}}; }

Json serviceRootJson() {
    Json root = resource(paths::kRoot, odata::kServiceRoot, "RootService", "Platform dump service");
    root["RedfishVersion"] = "1.20.0";
    root["Systems"] = link(paths::kSystems);
    root["EventService"] = link(paths::kEventService);
    root["Links"] = Json::object();
    return root;
}

Json systemsJson() {
    return collection(paths::kSystems, odata::kSystemCollection, "Computer systems",
                      Json::array({link(paths::kSystem)}));
}

Json systemJson() {
    Json system = resource(paths::kSystem, odata::kSystem, "system", "Managed server");
    system["LogServices"] = link(paths::kLogServices);
    return system;
}

Json logServicesJson() {
    return collection(paths::kLogServices, odata::kLogServiceCollection, "Log services",
                      Json::array({link(paths::kDumpService)}));
}

Json dumpServiceJson(const std::string& dateTime) {
    Json service = resource(paths::kDumpService, odata::kLogService, "Dump", "Platform dumps");
    service["Description"] = "The platform dumps of the managed server in the service processor's repository";
    service["LogEntryType"] = "Multiple";
    service["OverWritePolicy"] = "NeverOverWrites";
    service["DateTime"] = dateTime;
    service["DateTimeLocalOffset"] = "+00:00";
    service["ServiceEnabled"] = true;
    service["Entries"] = link(paths::kEntries);
    return service;
}

Json entriesJson(const std::vector<EntryFacts>& entries) {
    Json members = Json::array();
    for (const EntryFacts& e : entries) members.push_back(entryJson(e));
    return collection(paths::kEntries, odata::kLogEntryCollection, "Platform dumps", members);
}

Json entryJson(const EntryFacts& e) {
    Json entry = resource(paths::entry(e.id), odata::kLogEntry, entryIdText(e.id),
                          std::string(e.kind) + " dump " + entryIdText(e.id));
    entry["EntryType"] = "Event";
    entry["Severity"] = "OK";
    entry["Message"] = e.complete ? "The dump is complete" : "The dump is being collected";
    entry["Created"] = e.created.empty() ? Json(nullptr) : Json(e.created);
    entry["DiagnosticDataType"] = "OEM";
    entry["OEMDiagnosticDataType"] = e.kind;
    entry["AdditionalDataURI"] = paths::attachment(e.id);
    entry["AdditionalDataSizeBytes"] = e.complete ? Json(e.streamSize) : Json(nullptr);
    entry["Oem"] = oem(entryOem(e));
    return entry;
}

Json eventServiceJson(unsigned keepAliveSeconds) {
    Json service = resource(paths::kEventService, odata::kEventService, "EventService", "Event service");
    service["ServiceEnabled"] = true;
    service["ServerSentEventUri"] = paths::kEventStream;
    service["EventFormatTypes"] = Json::array({"Event"});
    service["RegistryPrefixes"] = Json::array({"ResourceEvent"});
    service["Oem"] = oem(Json{{"KeepAliveSeconds", keepAliveSeconds}});
    return service;
}

Json errorJson(const std::string& messageKey, const std::string& message, const Json& errorLogs) {
    Json info{{"@odata.type", odata::kMessage},
              {"MessageId", kBaseRegistry + messageKey},
              {"Message", message},
              {"Severity", "Warning"},
              {"MessageSeverity", "Warning"},
              {"Resolution", "None."}};
    if (!errorLogs.is_null()) info["Oem"] = oem(Json{{"ErrorLogs", errorLogs}});
    return Json{{"error", Json{{"code", kBaseRegistry + messageKey},
                               {"message", message},
                               {"@Message.ExtendedInfo", Json::array({info})}}}};
}

Json eventJson(uint64_t sequence, Change change, const EntryFacts& entry, const std::string& timestamp) {
    const char* key = change == Change::Created   ? "ResourceCreated"
                      : change == Change::Changed ? "ResourceChanged"
                                                  : "ResourceRemoved";
    const char* message = change == Change::Created   ? "The resource has been created successfully."
                          : change == Change::Changed ? "One or more resource properties have changed."
                                                      : "The resource has been removed successfully.";
    Json record{{"EventId", std::to_string(sequence)},
                {"EventTimestamp", timestamp},
                {"MessageId", std::string(kResourceEvents) + key},
                {"Message", message},
                {"MessageSeverity", "OK"},
                {"OriginOfCondition", link(paths::entry(entry.id))},
                {"Oem", oem(Json{{"Kind", entry.kind}, {"Complete", entry.complete}, {"Progress", entry.progress}})}};
    return Json{{"@odata.type", odata::kEvent},
                {"Id", std::to_string(sequence)},
                {"Name", "Dump event"},
                {"Events", Json::array({record})}};
}

}  // namespace platdump::serve
