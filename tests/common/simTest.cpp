#include "simTest.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"

namespace testsupport {

void SimTest::SetUp() {
    const char* previous = std::getenv("PLATSIM_ROOT");
    iv_hadPrevious = previous != nullptr;
    if (previous) iv_previous = previous;
    const char* tmp = std::getenv("TMPDIR");
    iv_root = std::string(tmp && *tmp ? tmp : "/tmp") + "/platsim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(&iv_root[0]), nullptr);
    ::setenv("PLATSIM_ROOT", iv_root.c_str(), 1);
    platsim::root();  // lay out the skeleton
}

void SimTest::TearDown() {
    std::error_code ignored;
    if (!std::getenv("PLATSIM_KEEP_ROOT")) std::filesystem::remove_all(iv_root, ignored);
    if (iv_hadPrevious)
        ::setenv("PLATSIM_ROOT", iv_previous.c_str(), 1);
    else
        ::unsetenv("PLATSIM_ROOT");
}

std::string SimTest::primary(const std::string& spPath) const {
    return platsim::hostPath(spPath, platsim::Fs::Primary);
}

std::string SimTest::backup(const std::string& spPath) const {
    return platsim::hostPath(spPath, platsim::Fs::Backup);
}

std::vector<Json> SimTest::errlog() const {
    std::vector<Json> entries;
    for (const std::string& line : platsim::committedErrorLogs()) entries.push_back(Json::parse(line));
    return entries;
}

std::vector<uint8_t> userDataBytes(const Json& entry, size_t index) {
    std::string hex = entry.at("userData").at(index).at("hex").get<std::string>();
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

Json taken(ErrlEntry* entry) {
    if (!entry) return Json();
    Json record = Json::parse(entry->toJson());
    delete entry;
    return record;
}

bool fileExists(const std::string& hostPath) {
    struct stat st;
    return ::stat(hostPath.c_str(), &st) == 0;
}

std::string readFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& hostPath, const std::string& bytes) {
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readBytes(const std::string& hostPath) {
    std::string s = readFile(hostPath);
    return std::vector<uint8_t>(s.begin(), s.end());
}

void startRmgrLog() { platsim::setRmgrLog(true); }

std::vector<std::string> rmgrCalls() {
    std::vector<std::string> lines;
    std::istringstream in(readFile(platsim::root() + "/sim/rmgr.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    startRmgrLog();
    return lines;
}

#ifdef PLATDUMP_COVERAGE
extern "C" void __gcov_dump();
#endif

pid_t forkChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int rc = body();
        std::fflush(nullptr);
#ifdef PLATDUMP_COVERAGE
        __gcov_dump();  // _exit skips the handler that writes the coverage counters
#endif
        ::_exit(rc);
    }
    return pid;
}

int waitChild(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1000;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return -1001;
}

}  // namespace testsupport
