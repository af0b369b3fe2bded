// The sweep's call of the check passes.
#include "checker.h"

#include <stdlib.h>

#include <filesystem>

#include "checks.h"

namespace sweep {

bool checkRoot(RunRecord& r, const std::string& root, const char* when) {
    namespace check = platdump::check;
    if (!std::filesystem::is_directory(root + "/primary/plat_dump")) return false;
    const char* given = ::getenv("PLATSIM_ROOT");
    const std::string restore = given ? given : "";
    ::setenv("PLATSIM_ROOT", root.c_str(), 1);
    check::CheckedRepository repository;
    std::vector<std::string> unreadable;
    std::string why;
    if (!check::readRepository(repository, unreadable, why)) {
        r.found.push_back({when, kCheckCannotRead, 0, "/plat_dump", why});
    } else {
        check::Report report;
        for (const std::string& u : unreadable) report.unreadable(u);
        check::checkRepository(repository, std::nullopt, false, report);
        for (const check::Finding& f : report.findings())
            r.found.push_back({when, f.kind, f.dump.value_or(0), f.path, f.detail});
        for (const std::string& u : report.unreadableFiles()) r.found.push_back({when, kCheckCannotRead, 0, "", u});
    }
    ::setenv("PLATSIM_ROOT", restore.c_str(), 1);
    return true;
}

}  // namespace sweep
