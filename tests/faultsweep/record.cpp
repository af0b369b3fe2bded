// The run record's file form: record.json, and stream.bin with the
// extracted bytes.
#include "sweep.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platdump/dumpErrl.h"
#include "platform/sim/platsim.h"

namespace sweep {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool RunRecord::entry(const std::string& name, ErrlEntry* e) {
    call(name, e == nullptr);
    if (!e) return true;
    dumpCommitAndFreeLog(e);
    return false;
}

void RunRecord::step(const std::string& name) {
    std::error_code absent;
    const uintmax_t size = std::filesystem::file_size(platsim::root() + "/sim/faults.log", absent);
    steps.push_back({name, absent ? 0 : uint64_t(size)});
}

bool RunRecord::save(const std::string& dir) const {
    const nlohmann::json j = *this;
    std::ofstream out(dir + "/record.json", std::ios::trunc);
    out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::ofstream bytes(dir + "/stream.bin", std::ios::binary | std::ios::trunc);
    bytes << stream;
    return bool(out) && bool(bytes);
}

bool RunRecord::load(const std::string& dir) {
    const nlohmann::json j = nlohmann::json::parse(readFile(dir + "/record.json"), nullptr, false);
    if (j.is_discarded()) return false;
    j.get_to(*this);
    stream = readFile(dir + "/stream.bin");
    return true;
}

}  // namespace sweep
