// status-log-damaged: each line of a dump's status log that is not one
// its writer makes (statusLog.h), the first of them named one by one.
#include "checks.h"
#include "decode/findings.h"
#include "decode/record.h"
#include "dump/repository/repositoryPaths.h"
#include "platformSource.h"
#include "statusLog.h"

namespace platdump {
namespace check {

namespace {

// A status log holds some dozens of short lines; a larger file is damaged
// in itself and only its first bytes are looked at.
constexpr uint64_t kLargestLog = 1u << 20;
constexpr size_t kLinesNamed = 16;

}  // namespace

void checkStatusLog(const CheckedDump& d, Report& report) {
    const std::string path = dump::statusLogPath(d.id);
    if (!UtilFile(path.c_str()).exists()) return;  // a dump need not have one
    std::string why;
    std::unique_ptr<PlatformFileSource> source = PlatformFileSource::open(path, why);
    std::vector<uint8_t> bytes;
    if (!source || !readPrefix(*source, kLargestLog, bytes)) {
        report.unreadable(source ? source->failure() : why);
        return;
    }
    if (source->size() > kLargestLog)
        report.add(kStatusLogDamaged, d.id, path,
                   "the log has " + decode::num(source->size()) + " bytes, far more than its events take; the first " +
                       decode::num(kLargestLog) + " are checked");
    size_t damaged = 0;
    for (const StatusLine& line : statusLines(bytes)) {
        if (line.problem.empty()) continue;
        if (++damaged > kLinesNamed) continue;
        report.add(kStatusLogDamaged, d.id, path,
                   "line " + std::to_string(line.number) + ": " + line.problem + ": \"" +
                       decode::printable(reinterpret_cast<const uint8_t*>(line.text.data()), line.text.size()) + "\"");
    }
    if (damaged > kLinesNamed)
        report.add(kStatusLogDamaged, d.id, path, std::to_string(damaged - kLinesNamed) + " more lines do not parse");
}

}  // namespace check
}  // namespace platdump
