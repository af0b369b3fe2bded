// The sweep's runner. It runs the lifecycle once without faults, counting
// each fault name's calls, then once for every (name, N) in its own
// simulation root: once with only call N + 1 failing (after=N count=1)
// and once with every call from N + 1 on failing (after=N). Each run is a
// child process with a timeout, checked afterwards by a fresh process with
// the faults removed; runs go in parallel, one job process each. It prints
// the table of outcomes by class and the findings.
#pragma once

#include <string>
#include <vector>

namespace sweep {

struct SweepOptions {
    unsigned stride = 1;          // N = first, first + stride, ... below the count
    unsigned first = 0;
    unsigned jobs = 0;            // runs at once; 0: the number of processors
    unsigned timeout = 20;        // seconds per process
    std::vector<std::string> names;  // fault names to sweep; empty: all
    bool once = true, fromOn = true;  // the two modes
    std::string work;             // where the roots go; empty: /dev/shm, else $TMPDIR
    bool keep = false;            // keep the roots of findings
    bool keepAll = false;         // keep the roots of every run
    bool countsOnly = false;      // print each name's calls in the lifecycle, run nothing
    std::string runs;             // when given: every run described in this file, one JSON object a line
};

// 0 when every run ended in an accepted outcome, 1 when there were
// findings, 2 when the sweep could not run.
int runSweep(const SweepOptions& options);

}  // namespace sweep
