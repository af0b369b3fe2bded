// The run record's file form: record.txt, one tab-separated line per
// item, and stream.bin with the extracted bytes.
#include "record.h"

#include <fstream>
#include <sstream>

#include "platdump/dumpErrl.h"

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

bool RunRecord::save(const std::string& dir) const {
    std::ofstream out(dir + "/record.txt", std::ios::trunc);
    for (const Call& c : calls) out << "call\t" << clean(c.name) << '\t' << (c.ok ? 1 : 0) << '\n';
    for (const Answer& a : answers) out << "answer\t" << clean(a.name) << '\t' << clean(a.value) << '\n';
    for (const Deletion& d : deletions)
        out << "deletion\t" << clean(d.dump) << '\t' << d.answer << '\t' << d.expected << '\n';
    for (const Problem& p : problems) out << "problem\t" << clean(p.outcome) << '\t' << clean(p.detail) << '\n';
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
        if (f.size() == 4 && f[0] == "deletion") deletions.push_back({f[1], f[2] == "1", f[3] == "1"});
        if (f.size() == 3 && f[0] == "problem") problems.push_back({f[1], f[2]});
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
