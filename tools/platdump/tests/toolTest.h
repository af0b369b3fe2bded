// The fixture of the platdump tests: the tool is run as a user runs it, a
// separate process (through the emulator of a cross build) on the test's
// fresh simulation root, either with its output going to files (as in a
// pipe) or on a pseudo-terminal. Dumps are set up in-process through the
// library, on the same root.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "platdump/platdump.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

namespace tooltest {

using testsupport::Json;

struct ToolRun {
    int code;
    std::string out;  // on a terminal: everything the terminal showed
    std::string err;
    Json json() const { return Json::parse(out); }
};

class ToolTest : public testsupport::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        platsim::setClock(kClock);
        platsim::setRegistry("svpd/Raw_MachineSerialNumber", "ab12cd3");
    }

    // The tool with args, stdout and stderr each going to a file.
    ToolRun platdump(const std::vector<std::string>& args) {
        const std::string out = root() + "/tool.out", err = root() + "/tool.err";
        pid_t pid = testsupport::forkChild([&] {
            int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) return 126;
            return exec(args);
        });
        int code = testsupport::waitChild(pid);
        return ToolRun{code, testsupport::readFile(out), testsupport::readFile(err)};
    }

    // The tool with args on a pseudo-terminal (stdin, stdout and stderr).
    ToolRun onTerminal(const std::vector<std::string>& args) {
        std::fflush(nullptr);
        int master = -1;
        pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) ::_exit(exec(args));
        std::string shown;
        char buf[4096];
        for (ssize_t n; pid > 0 && (n = ::read(master, buf, sizeof buf)) > 0;) shown.append(buf, static_cast<size_t>(n));
        if (master >= 0) ::close(master);
        return ToolRun{pid > 0 ? testsupport::waitChild(pid) : -2000, shown, ""};
    }

    // A new dump of kind type, its handle kept by the caller.
    std::unique_ptr<DumpSummary> createDump(DumpSummary::typeOfSummary_t type, unsigned int id) {
        ErrlEntry* errl = nullptr;
        auto dump = std::make_unique<DumpSummary>(type, id, errl);
        EXPECT_EQ(errl, nullptr);
        delete errl;
        return dump;
    }

    static constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC

private:
    static int exec(const std::vector<std::string>& args) {
        std::vector<std::string> argv;
        std::istringstream emulator(PLATDUMP_TOOL_EMULATOR);
        for (std::string word; emulator >> word;) argv.push_back(word);
        argv.push_back(PLATDUMP_TOOL);
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> ptrs;
        for (std::string& a : argv) ptrs.push_back(a.data());
        ptrs.push_back(nullptr);
        ::execvp(ptrs[0], ptrs.data());
        return 127;
    }
};

}  // namespace tooltest
