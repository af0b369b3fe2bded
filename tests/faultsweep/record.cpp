// The run record's file form: record.txt, one tab-separated line per
// item, and stream.bin with the extracted bytes.
#include "record.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platdump/dumpErrl.h"
#include "platform/sim/platsim.h"

namespace sweep {

namespace {

// Fields never hold tabs or newlines; these keep it so.
std::string clean(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n') c = ' ';
    return text;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, '\t');) out.push_back(f);
    return out;
}

}  // namespace

bool RunRecord::entry(const std::string& name, ErrlEntry* e) {
    call(name, e == nullptr);
    if (!e) return true;
    dumpCommitAndFreeLog(e);
    return false;
}

void RunRecord::step(const std::string& name) {
    struct stat st;
    const std::string log = platsim::root() + "/sim/faults.log";
    steps.push_back({name, ::stat(log.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0});
}

bool RunRecord::save(const std::string& dir) const {
    std::ofstream out(dir + "/record.txt", std::ios::trunc);
    for (const Call& c : calls) out << "call\t" << clean(c.name) << '\t' << (c.ok ? 1 : 0) << '\n';
    for (const Answer& a : answers) out << "answer\t" << clean(a.name) << '\t' << clean(a.value) << '\n';
    for (const Step& s : steps) out << "step\t" << clean(s.name) << '\t' << s.firedFrom << '\n';
    for (const Deletion& d : deletions)
        out << "deletion\t" << clean(d.dump) << '\t' << d.answer << '\t' << d.expected << '\n';
    for (const Problem& p : problems) out << "problem\t" << clean(p.outcome) << '\t' << clean(p.detail) << '\n';
    for (const Damage& d : damage)
        out << "damage\t" << clean(d.when) << '\t' << d.dump << '\t' << clean(d.problem) << '\n';
    for (const CheckFinding& f : found)
        out << "found\t" << clean(f.when) << '\t' << clean(f.kind) << '\t' << f.dump << '\t' << clean(f.path) << '\t'
            << clean(f.detail) << '\n';
    out << "extracted\t" << extracted << "\nvanished\t" << vanished << '\n';
    std::ofstream bytes(dir + "/stream.bin", std::ios::binary | std::ios::trunc);
    bytes.write(stream.data(), static_cast<std::streamsize>(stream.size()));
    return bool(out) && bool(bytes);
}

bool RunRecord::load(const std::string& dir) {
    std::ifstream in(dir + "/record.txt");
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f = fields(line);
        if (f.size() == 3 && f[0] == "call") calls.push_back({f[1], f[2] == "1"});
        if (f.size() == 3 && f[0] == "answer") answers.push_back({f[1], f[2]});
        if (f.size() == 3 && f[0] == "step") steps.push_back({f[1], std::strtoull(f[2].c_str(), nullptr, 10)});
        if (f.size() == 4 && f[0] == "deletion") deletions.push_back({f[1], f[2] == "1", f[3] == "1"});
        if (f.size() == 3 && f[0] == "problem") problems.push_back({f[1], f[2]});
        if (f.size() == 4 && f[0] == "damage")
            damage.push_back({f[1], static_cast<unsigned>(std::strtoul(f[2].c_str(), nullptr, 10)), f[3]});
        if (f.size() == 6 && f[0] == "found")
            found.push_back({f[1], f[2], static_cast<unsigned>(std::strtoul(f[3].c_str(), nullptr, 10)), f[4], f[5]});
        if (f.size() == 2 && f[0] == "extracted") extracted = f[1] == "1";
        if (f.size() == 2 && f[0] == "vanished") vanished = f[1] == "1";
    }
    std::ifstream bytes(dir + "/stream.bin", std::ios::binary);
    std::ostringstream all;
    all << bytes.rdbuf();
    stream = all.str();
    return true;
}

}  // namespace sweep
