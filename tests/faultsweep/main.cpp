// fault_sweep: runs the lifecycle once for every injected platform failure
// and prints the outcomes by class (see runner.h).
//
//   fault_sweep [--stride N] [--first N] [--jobs N] [--timeout S] [--names A,B] [--mode once|from]
//               [--work DIR] [--keep | --keep-all] [--counts] [--runs FILE]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "runner.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: fault_sweep [--stride N] [--first N] [--jobs N] [--timeout S] [--names A,B] [--mode once|from] "
                 "[--work DIR] [--keep | --keep-all] [--counts] [--runs FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    sweep::SweepOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&] { return static_cast<unsigned>(std::strtoul(value, nullptr, 10)); };
        if (arg == "--keep" || arg == "--keep-all" || arg == "--counts") {
            (arg == "--counts" ? o.countsOnly : o.keep) = true;
            o.keepAll = arg == "--keep-all";
            continue;
        }
        if (!value) return usage();
        ++i;
        if (arg == "--stride") o.stride = number();
        else if (arg == "--first") o.first = number();
        else if (arg == "--jobs") o.jobs = number();
        else if (arg == "--timeout") o.timeout = number();
        else if (arg == "--work") o.work = value;
        else if (arg == "--runs") o.runs = value;
        else if (arg == "--mode") {
            o.once = std::strcmp(value, "once") == 0;
            o.fromOn = std::strcmp(value, "from") == 0;
            if (!o.once && !o.fromOn) return usage();
        } else if (arg == "--names") {
            std::istringstream in(value);
            for (std::string n; std::getline(in, n, ',');) o.names.push_back(n);
        } else {
            return usage();
        }
    }
    return sweep::runSweep(o);
}
