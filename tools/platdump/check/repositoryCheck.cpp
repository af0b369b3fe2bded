// The whole check: each dump's passes, then those of the repository.
#include "checks.h"

namespace platdump {
namespace check {

namespace {

void checkDump(const CheckedDump& d, Report& report) {
    checkSummary(d, report);
    if (!d.opens) return;
    checkNamedFiles(d, report);
    checkSections(d, report);
    checkMdrt(d, report);
    checkStatusLog(d, report);
}

}  // namespace

size_t checkRepository(const CheckedRepository& repository, std::optional<unsigned int> one, bool compareMirror,
                       Report& report) {
    size_t dumps = 0;
    for (const CheckedDump& d : repository.dumps)
        if (!one || d.id == *one) {
            checkDump(d, report);
            ++dumps;
        }
    checkOrphans(repository, report);
    if (compareMirror) checkMirror(repository, report);
    if (one) report.keepDump(*one);
    report.group();
    return dumps;
}

}  // namespace check
}  // namespace platdump
