// platdump sim reload: a control file edited by hand counts in a running
// process once the command has run.
#include "toolTest.h"

namespace {

using tooltest::ToolRun;

class SimCommand : public tooltest::ToolTest {};

TEST_F(SimCommand, ReloadMakesAHandEditCount) {
    testsupport::writeFile(root() + "/sim/role", "0");
    tovRole role = TOV_ROLE_UNKNOWN;
    delete rmgrGetTovRole(role);
    EXPECT_EQ(role, 1) << "a hand edit is not looked for";
    ToolRun r = platdump({"sim", "reload"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "the control files of " + root() + " count from the next call of every process\n");
    delete rmgrGetTovRole(role);
    EXPECT_EQ(role, 0);
}

}  // namespace
