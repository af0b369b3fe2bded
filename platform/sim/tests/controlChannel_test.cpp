// The control channel: a change made through the platsim API in one
// process reaches the next call of every other process of the root; a hand
// edit reaches a running process after a reload; each root has its own.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/errlEntry.h"
#include "platform/rmgr.h"
#include "platform/sim/platsim.h"
#include "platform/utilFile.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class ControlChannel : public SimTest {};

// One look at the root: whether opening /plat_dump/probe fails, and the
// role (a digit).
std::string probe() {
    UtilFile file("/plat_dump/probe");
    file.Open("r", false);
    bool failed = file.hasError() && file.getLastError()->getRC() == 12;
    tovRole role = TOV_ROLE_UNKNOWN;
    delete rmgrGetTovRole(role);
    return std::string(failed ? "F" : "-") + std::to_string(static_cast<int>(role));
}

// A child that has looked at the root answers one probe per request, and
// makes one change of its own when asked with 'c'.
class Peer {
public:
    Peer() {
        if (::pipe(iv_ask) != 0 || ::pipe(iv_tell) != 0) std::abort();
        iv_pid = forkChild([this] {
            ::alarm(30);
            ::close(iv_ask[1]);  // the parent's closing it ends the loop
            char c = 0;
            std::string seen = probe();
            while (::read(iv_ask[0], &c, 1) == 1) {
                if (c == 'c') platsim::setFault("UtilFile.Open", "errno=12");
                seen = probe();
                if (::write(iv_tell[1], seen.data(), 2) != 2) return 2;
            }
            return 0;
        });
    }
    ~Peer() {
        ::close(iv_ask[1]);
        waitChild(iv_pid);
        for (int fd : {iv_ask[0], iv_tell[0], iv_tell[1]}) ::close(fd);
    }
    // What the child sees on its next call, after it makes its change (c).
    std::string ask(char request = '?') {
        char seen[3] = {0};
        if (::write(iv_ask[1], &request, 1) != 1 || ::read(iv_tell[0], seen, 2) != 2) return "lost";
        return seen;
    }

private:
    int iv_ask[2], iv_tell[2];
    pid_t iv_pid;
};

// A change through the interface reaches the next call of every process;
// one made by hand, only after a reload.
TEST_F(ControlChannel, ChangesReachEveryProcessAndHandEditsAfterAReload) {
    writeFile(primary("/plat_dump/probe"), "p");
    ASSERT_EQ(probe(), "-1");
    Peer child;
    ASSERT_EQ(child.ask(), "-1");

    struct Row {
        const char* change;
        void (*make)();
        const char* seen;  // F: the open fails; then the role
    } rows[] = {
        {"a fault armed", [] { platsim::setFault("UtilFile.Open", "errno=12 match=/plat_dump/probe"); }, "F1"},
        {"the fault rewritten", [] { platsim::setFault("UtilFile.Open", "errno=12 match=/elsewhere"); }, "-1"},
        {"the role set", [] { platsim::setRole(0); }, "-0"},
        {"the fault rewritten back", [] { platsim::setFault("UtilFile.Open", "errno=12 match=probe"); }, "F0"},
        {"the fault cleared", [] { platsim::clearFault("UtilFile.Open"); }, "-0"},
        {"the role set again", [] { platsim::setRole(4); }, "-4"},
        {"a fault and the role written by hand, not looked for",
         [] {
             writeFile(platsim::root() + "/sim/fail/UtilFile.Open", "errno=12");
             writeFile(platsim::root() + "/sim/role", "0");
         },
         "-4"},
        {"a reload", [] { platsim::reload(); }, "F0"},
        {"both removed by hand and a reload",
         [] {
             ::unlink((platsim::root() + "/sim/fail/UtilFile.Open").c_str());
             ::unlink((platsim::root() + "/sim/role").c_str());
             platsim::reload();
         },
         "-1"},
    };
    for (const Row& row : rows) {
        row.make();
        EXPECT_EQ(probe(), row.seen) << row.change << ", in this process";
        EXPECT_EQ(child.ask(), row.seen) << row.change << ", in the child";
    }
    // And the other way round: the child's change reaches this process.
    EXPECT_EQ(child.ask('c'), "F1");
    EXPECT_EQ(probe(), "F1");
}

TEST_F(ControlChannel, EachRootKeepsItsOwnControlState) {
    const std::string first = root();
    writeFile(primary("/plat_dump/probe"), "p");
    platsim::setRole(4);
    ASSERT_EQ(probe(), "-4");
    // A root this process has not worked on: its files as they stand.
    char templ[] = "/tmp/platsim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    const std::string second = templ;
    std::filesystem::create_directories(second + "/sim/fail");
    std::filesystem::create_directories(second + "/primary/plat_dump");
    writeFile(second + "/sim/fail/UtilFile.Open", "errno=12");
    writeFile(second + "/primary/plat_dump/probe", "p");
    ::setenv("PLATSIM_ROOT", second.c_str(), 1);
    EXPECT_EQ(probe(), "F1");
    ::setenv("PLATSIM_ROOT", first.c_str(), 1);
    EXPECT_EQ(probe(), "-4");
    // putenv puts another entry in the variable's slot: the next call follows it.
    std::string entry = "PLATSIM_ROOT=" + second;
    ::putenv(entry.data());
    EXPECT_EQ(probe(), "F1");
    ::setenv("PLATSIM_ROOT", first.c_str(), 1);
    EXPECT_EQ(probe(), "-4");
    std::filesystem::remove_all(second);
}

}  // namespace
