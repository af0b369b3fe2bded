// Control files changed by hand: a shell that creates, rewrites in place or
// removes a fault file, or rewrites sim/role, changes the very next call of
// processes that have been running on the root for a while, and so answer
// from what they keep in memory rather than reading the files.
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/errlEntry.h"
#include "platform/rmgr.h"
#include "platform/utilFile.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class ControlFiles : public SimTest {
protected:
    void shell(const std::string& command) {
        std::string line = "cd '" + root() + "/sim' && " + command;
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }
};

// One look at the root: whether opening /plat_dump/probe fails, and the
// role (a digit).
std::string probe() {
    UtilFile file("/plat_dump/probe");
    file.Open("r", false);
    bool failed = file.hasError() && file.getLastError()->getRC() == 0x0C;
    tovRole role = TOV_ROLE_UNKNOWN;
    delete rmgrGetTovRole(role);
    return std::string(failed ? "F" : "-") + std::to_string(static_cast<int>(role));
}

// Whether this process holds an inotify instance: it watches the root.
bool watching() {
    DIR* fds = ::opendir("/proc/self/fd");
    bool found = false;
    while (struct dirent* e = fds ? ::readdir(fds) : nullptr) {
        char target[64] = {0};
        std::string link = std::string("/proc/self/fd/") + e->d_name;
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).find("inotify") != std::string::npos)
            found = true;
    }
    if (fds) ::closedir(fds);
    return found;
}

void warmUp() {
    for (int i = 0; i < 64; ++i) probe();
}

TEST_F(ControlFiles, ChangesByAShellReachTheNextCallOfRunningProcesses) {
    writeFile(primary("/plat_dump/probe"), "p");
    warmUp();
    ASSERT_TRUE(watching()) << "the test must reach a process that answers from memory";

    // A child that has run on the root too answers one probe per request.
    int ask[2], tell[2];
    ASSERT_EQ(::pipe(ask), 0);
    ASSERT_EQ(::pipe(tell), 0);
    pid_t child = forkChild([&] {
        ::alarm(30);
        ::close(ask[1]);  // the parent's closing it ends the loop
        warmUp();
        char c = watching() ? 'W' : 'n';
        if (::write(tell[1], &c, 1) != 1) return 1;
        while (::read(ask[0], &c, 1) == 1) {
            std::string seen = probe();
            if (::write(tell[1], seen.data(), 2) != 2) return 2;
        }
        return 0;
    });
    char state = 0;
    ASSERT_EQ(::read(tell[0], &state, 1), 1);
    EXPECT_EQ(state, 'W') << "the child answers from memory";

    struct Row {
        const char* command;
        const char* seen;  // F: the open fails; then the role
    } rows[] = {
        {"printf 'errno=12 match=/plat_dump/probe' > fail/UtilFile.Open", "F1"},
        {"printf 'errno=12 match=/elsewhere' > fail/UtilFile.Open", "-1"},  // in place
        {"printf 'errno=12 match=probe' > fail/UtilFile.Open", "F1"},       // in place again
        {"echo 0 > role", "F0"},
        {"echo 1 > role", "F1"},  // in place
        {"rm fail/UtilFile.Open", "-1"},
        {"echo 4 > role", "-4"},
    };
    for (const Row& row : rows) {
        shell(row.command);
        EXPECT_EQ(probe(), row.seen) << row.command << ", in this process";
        char seen[3] = {0};
        ASSERT_EQ(::write(ask[1], "?", 1), 1);
        ASSERT_EQ(::read(tell[0], seen, 2), 2);
        EXPECT_EQ(std::string(seen), row.seen) << row.command << ", in the child";
    }
    ::close(ask[1]);
    EXPECT_EQ(waitChild(child), 0);
    ::close(ask[0]);
    ::close(tell[0]);
    ::close(tell[1]);
}

}  // namespace
