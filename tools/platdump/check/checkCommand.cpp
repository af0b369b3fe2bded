#include "checkCommand.h"

#include <algorithm>

#include "checkOutput.h"
#include "checks.h"
#include "dumpId.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "platdump/dumpCollections.h"
#include "platform/errlEntry.h"
#include "platform/rmgr.h"

namespace platdump {

namespace {

using namespace check;

// The library mirrors only while this processor is the primary; with any
// other role (or none known) there is no mirror to compare.
bool mirrored(std::ostream& err) {
    tovRole role = TOV_ROLE_UNKNOWN;
    ErrlEntry* e = rmgrGetTovRole(role);
    const bool known = e == nullptr;
    delete e;
    if (known && role == TOV_ROLE_PRIMARY) return true;
    reportFailure(err, "check", "the mirror is not compared: this service processor is not the primary (role " +
                                    (known ? std::to_string(role) : std::string("unknown")) + ")");
    return false;
}

}  // namespace

CLI::App* addCheckCommand(CLI::App& app, CheckOptions& options) {
    CLI::App* cmd = app.add_subcommand("check", "Check the repository and its mirror, changing nothing");
    options.idOption = addDumpIdArgument(cmd, options.id, false);
    cmd->add_flag("--json", options.json, "Print the findings as JSON");
    return cmd;
}

int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    std::optional<unsigned int> one;
    if (options.idOption && options.idOption->count() > 0) one = options.id;
    CheckedRepository repository;
    std::vector<std::string> unreadable;
    std::string why;
    if (!readRepository(repository, unreadable, why)) {
        reportFailure(err, "check", why);
        return kExitFailed;
    }
    if (one && std::none_of(repository.dumps.begin(), repository.dumps.end(),
                            [&](const CheckedDump& d) { return d.id == *one; })) {
        reportFailure(err, "check", "no dump " + idText(*one) + " in " + DumpCollections::MOUNT_POINT);
        return kExitFailed;
    }

    Report report;
    for (const std::string& u : unreadable) report.unreadable(u);
    const size_t dumps = checkRepository(repository, one, mirrored(err), report);

    for (const std::string& u : report.unreadableFiles()) reportFailure(err, "check", u);
    if (options.json)
        printJson(out, reportJson(report, dumps));
    else
        printReport(out, report, dumps);
    return report.consistent() ? kExitOk : kExitFailed;
}

}  // namespace platdump
