// `platdump demo` as the README's first command runs it: on a fresh
// temporary simulation root, to the end, with the offloaded stream verified;
// and with --keep, leaving a repository that checks clean.
#include <sys/stat.h>

#include <sstream>

#include "tools/platdump/tests/toolTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

class DemoCommand : public ToolTest {};

TEST_F(DemoCommand, LivesADumpToAVerifiedOffloadOnAFreshRoot) {
    const std::string tmp = root() + "/tmp";
    ::mkdir(tmp.c_str(), 0755);
    ToolRun r = platdump({"demo"}, {"-PLATSIM_ROOT", "TMPDIR=" + tmp});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("the simulation at " + tmp + "/platdump-demo-"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("The offloaded stream is verified."), std::string::npos) << r.out;
    EXPECT_TRUE(platdump({"list", "--json"}).json()["dumps"].empty());  // this root was not touched
}

// The closing hints name the tool by its full path and the root it ran
// on, so that each runs as printed from any directory.
TEST_F(DemoCommand, KeptDumpChecksCleanAndEveryHintRunsAsPrinted) {
    ToolRun r = platdump({"demo", "--keep"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("deletion        none: dump 0x0000001A is kept in the repository"), std::string::npos) << r.out;
    const std::string heading = "Look around (each command runs as printed):\n";
    ASSERT_NE(r.out.find(heading), std::string::npos) << r.out;
    std::istringstream lines(r.out.substr(r.out.find(heading) + heading.size()));
    std::vector<std::string> commands;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string env, tool, command;
        words >> env >> tool >> command;
        EXPECT_EQ(env, "PLATSIM_ROOT=" + root()) << line;
        EXPECT_EQ(tool, PLATDUMP_TOOL) << line;
        std::vector<std::string> args = {command};
        for (std::string word; words >> word;) args.push_back(word);
        ToolRun hint = platdump(args, {env});
        EXPECT_EQ(hint.code, 0) << line << "\n" << hint.out << hint.err;
        commands.push_back(command + (args.size() > 1 && command != "parse" ? " " + args[1] : ""));
    }
    EXPECT_EQ(commands, std::vector<std::string>({"errlog", "parse", "list", "show 1A", "check"}));  // check: exit 0
}

}  // namespace
