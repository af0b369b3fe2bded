// The server's documents in the management world's shape: the resource
// tree (router.h) as JSON with @odata.id and @odata.type, a dump as a
// LogEntry of diagnostic data with the library's state under Oem, the
// error body of every refusal, and the events of the event stream.
#pragma once

#include <string>
#include <vector>

#include "entryFacts.h"
#include "toolJson.h"

namespace platdump::serve {

// The schema versions the documents declare, each named once.
namespace odata {
constexpr const char* kServiceRoot = "#ServiceRoot.v1_17_0.ServiceRoot";
constexpr const char* kSystemCollection = "#ComputerSystemCollection.ComputerSystemCollection";
constexpr const char* kSystem = "#ComputerSystem.v1_22_0.ComputerSystem";
constexpr const char* kLogServiceCollection = "#LogServiceCollection.LogServiceCollection";
constexpr const char* kLogService = "#LogService.v1_7_0.LogService";
constexpr const char* kLogEntryCollection = "#LogEntryCollection.LogEntryCollection";
constexpr const char* kLogEntry = "#LogEntry.v1_17_0.LogEntry";
constexpr const char* kEventService = "#EventService.v1_10_0.EventService";
constexpr const char* kEvent = "#Event.v1_10_0.Event";
constexpr const char* kMessage = "#Message.v1_2_0.Message";
constexpr const char* kOem = "Platdump";  // the vendor key under every Oem object
}  // namespace odata

Json versionsJson();
Json serviceRootJson();
Json systemsJson();
Json systemJson();
Json logServicesJson();
// dateTime: the service's clock now, as Created is written.
Json dumpServiceJson(const std::string& dateTime);
Json entriesJson(const std::vector<EntryFacts>& entries);
Json entryJson(const EntryFacts& entry);
// keepAliveSeconds: how often an idle stream gets a comment line.
Json eventServiceJson(unsigned keepAliveSeconds);

// The error body of a refusal. messageKey: a message of the Base registry
// ("ResourceNotFound"); message: what was wrong, for a person; errorLogs:
// the library's error logs, decoded, when it failed (null: none).
Json errorJson(const std::string& messageKey, const std::string& message, const Json& errorLogs = nullptr);

enum class Change { Created, Changed, Removed };
// One event of the event stream: the dump's entry created, changed
// (progress, completion, failure flags) or removed. entry: the facts seen
// now (of a removed dump: the last ones seen).
Json eventJson(uint64_t sequence, Change change, const EntryFacts& entry, const std::string& timestamp);

}  // namespace platdump::serve
