// `platdump demo` as the README's first command runs it: on a fresh
// temporary simulation root, to the end, with the offloaded stream verified;
// and with --keep, leaving a repository that checks clean.
#include <sys/stat.h>

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

TEST_F(DemoCommand, KeptDumpChecksClean) {
    ToolRun r = platdump({"demo", "--keep"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("deletion        none: dump 0x0000001A is kept in the repository"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; platdump show 1A; platdump check\n"), std::string::npos) << r.out;
    r = platdump({"check", "--json"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.json(), Json({{"consistent", true}, {"dumps", 1}, {"findings", Json::array()}}));
}

}  // namespace
