// Creates system dump 0x1A, records who asked for it, and prints the
// record that the library condenses a dump to. On a workstation it runs on
// the host simulation, which needs the machine's serial number in its
// registry first.
#include <cstdio>

#include <platdump/platdump.h>

int main() {
    ErrlEntry* errl = nullptr;
    DumpSummary dump(DumpSummary::SYS, 0x1A, errl);
    if (errl) {
        std::fprintf(stderr, "cannot create dump 0x1A\n");
        dumpCommitAndFreeLog(errl);
        return 1;
    }
    char client[] = "new_dump example";
    dump.setClientId(client);

    _dumpstate state{};
    state.size = sizeof state;
    if (!dump.PopulateDumpState(&state)) return 1;
    std::printf("dump 0x%08X: %s, client \"%s\", %u%% collected\n", state.dumpId, state.dumpFileName,
                dump.GetDumpClientRecord()->clientId, state.progress);
    return 0;
}
