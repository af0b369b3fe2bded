// Writes the fuzzers' seeds from a real dump: the resident dump that a
// collector made through the library (residentDump.h), its files as they
// lie in the repository, its offload stream as ExtractDump serves it
// (main store included), and the error logs the library commits when a
// reader is given what is not there. Run by `scripts/fuzz.sh --seeds`;
// each seed is written to <directory>/<fuzzer>/seed-<name>.
//
// Usage: fuzz_seeds DIRECTORY
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzzRoot.h"
#include "fuzz/residentDump.h"
#include "platdump/platdump.h"
#include "platform/bigEndian.h"
#include "platform/sim/platsim.h"

namespace {

using namespace fuzzsupport;

std::string g_directory;

void seed(const std::string& fuzzer, const std::string& name, const std::string& bytes) {
    std::string dir = g_directory + "/" + fuzzer;
    ::mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/seed-" + name, std::ios::binary) << bytes;
}

// The nodal fuzzer's input: mode (the type, bit 3: finalise twice), the
// TOC length, the TOC, the data.
std::string nodalInput(int type, const std::string& toc, const std::string& data) {
    uint8_t head[3] = {static_cast<uint8_t>(type | 0x8), 0, 0};
    be::putU16(head, 1, static_cast<uint16_t>(toc.size()));
    return std::string(reinterpret_cast<char*>(head), 3) + toc + data;
}

void nodalSeeds(const ResidentDump& dump) {
    // Names as the collector gave them: HwTOC0, HwData0, SpTOC0, ...
    const ResidentFile* f = dump.nodalFiles.data();
    for (size_t i = 0; i + 1 < dump.nodalFiles.size(); i += 2) {
        const ResidentFile& toc = f[i].spPath.find("TOC") != std::string::npos ? f[i] : f[i + 1];
        const ResidentFile& data = &toc == &f[i] ? f[i + 1] : f[i];
        int type = toc.spPath.find("Hw") != std::string::npos   ? DumpNodalSection::HWDATA
                   : toc.spPath.find("Sp") != std::string::npos ? DumpNodalSection::SPDATA
                                                                : DumpNodalSection::SYSDATA;
        std::string name = toc.spPath.substr(toc.spPath.rfind('.') + 1);
        seed("nodal", name, nodalInput(type, toc.bytes, data.bytes));
        // As a writer killed in its second item left it: half an entry
        // and part of its data.
        if (type == DumpNodalSection::SPDATA) {
            std::string cutToc = toc.bytes.substr(0, 48 + 12 + 6);
            seed("nodal", name + "-interrupted", nodalInput(type, cutToc, data.bytes.substr(0, 30)));
        }
    }
}

std::string offload(unsigned int id, uint64_t size) {
    std::string stream(size, '\0');
    DumpExtractData extract;
    dumpDMAEhandle handle{};
    for (uint64_t offset = 0; offset < size;) {
        unsigned int length = static_cast<unsigned int>(std::min<uint64_t>(size - offset, 1024));
        if (ErrlEntry* e = extract.ExtractDump(id, offset, length, &stream[offset], true, &handle)) {
            dumpCommitAndFreeLog(e);
            stream.resize(offset + length);
            break;
        }
        offset += length;
    }
    return stream;
}

uint64_t streamSize(unsigned int id) {
    ErrlEntry* errl = nullptr;
    DumpSummary summary(id, errl);
    if (errl) return 0;
    _dumpstate state{};
    state.size = sizeof state;
    summary.PopulateDumpState(&state);
    return state.dumpSize.value();
}

// Readers given what is not there commit what the tool decodes.
std::string provokedErrorLogs() {
    ErrlEntry* errl = nullptr;
    { DumpSummary missing(0x77, errl); }
    dumpCommitAndFreeLog(errl);
    char buffer[16];
    unsigned int length = sizeof buffer;
    dumpDMAEhandle handle{};
    errl = DumpExtractData().ExtractDump(0x77, 0, length, buffer, true, &handle);
    dumpCommitAndFreeLog(errl);
    DumpDataBlockFile block(8, const_cast<char*>("/plat_dump/none"));
    errl = block.getData(0, 8, buffer, nullptr);
    dumpCommitAndFreeLog(errl);
    std::ifstream in(platsim::errlogPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    g_directory = argv[1];
    ::mkdir(g_directory.c_str(), 0755);
    // The error logs first, while the trace they collect is short.
    processRoot();
    std::string logs = provokedErrorLogs();
    seed("errlog", "provoked", logs);
    std::istringstream lines(logs);
    int n = 0;
    for (std::string line; std::getline(lines, line);) seed("errlog", "line" + std::to_string(++n), line);

    const ResidentDump& dump = residentDump();
    seed("summary", "resident", dump.summary.bytes);
    seed("mdrt", "resident", dump.mdrt.bytes);
    nodalSeeds(dump);
    seed("stream", "resident", offload(kResidentId, streamSize(kResidentId)));
    return 0;
}
