// fault_sweep: runs the lifecycle once for every injected platform failure
// and prints the outcomes by class (see runner.h).
#include <CLI/CLI.hpp>

#include "runner.h"

int main(int argc, char** argv) {
    sweep::SweepOptions o;
    std::string mode;
    CLI::App app("Runs the dump lifecycle once for every injected platform failure.", "fault_sweep");
    app.add_option("--stride", o.stride, "every how many calls of a fault name a run fails");
    app.add_option("--first", o.first, "the first call to fail (counted from 0)");
    app.add_option("--jobs", o.jobs, "runs at once (0: the number of processors)");
    app.add_option("--timeout", o.timeout, "seconds per process");
    app.add_option("--names", o.names, "fault names to sweep (all when none)")->delimiter(',');
    app.add_option("--mode", mode, "only one call fails (once), or every call from it on (from)")
        ->check(CLI::IsMember({"once", "from"}));
    app.add_option("--work", o.work, "where the runs' roots go");
    auto* keep = app.add_flag("--keep", o.keep, "keep the roots of findings");
    app.add_flag("--keep-all", o.keepAll, "keep the roots of every run")->excludes(keep);
    app.add_flag("--counts", o.countsOnly, "print each fault name's calls in the lifecycle, run nothing");
    app.add_option("--runs", o.runs, "describe every run in this file, one JSON object a line");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    o.keep = o.keep || o.keepAll;
    o.once = mode != "from";
    o.fromOn = mode != "once";
    return sweep::runSweep(o);
}
