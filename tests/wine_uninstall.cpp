// The roads through the whole two-process uninstall, run for real.
#include "support.h"

static const char kQuestion[] =
    "Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN E1 (Treiber V3.11 \"Selvarin\")";
static const char kDone[] =
    "Folgender Tastatur-Treiber wurde deinstalliert:\nDIN E1 (Treiber V3.11 \"Selvarin\")";

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
};

TEST_F(Uninstall, AnsweredYesRemovesEverythingAndKeepsTheStandardLayout)
{
    MachineState before = Capture();
    RobotRun run = RunInstalled(kKey, {"yes", "ok"});
    ExpectCleanEnd(run);
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kDone, "ok"}});
    EXPECT_EQ(run.otherExitCodes.size(), 1u) << "the copy must have run";

    MachineState after = Capture();
    EXPECT_EQ(after.preload, (Values{{"1", "00000407"}})) << Describe(after);
    EXPECT_EQ(after.substitutes, Values{});
    EXPECT_EQ(after.layouts, (std::vector<std::string>{"00000407", "00000409"}));
    EXPECT_EQ(after.uninstallEntries.size() + 1, before.uninstallEntries.size());
    EXPECT_FALSE(after.driver);
    EXPECT_FALSE(after.driver32);
    EXPECT_FALSE(after.folder);
    EXPECT_FALSE(after.userShortcut);
    EXPECT_FALSE(after.commonShortcut);
    EXPECT_NE(PendingRenames().find("Uninstall_Quorvex.exe"), std::string::npos) << PendingRenames();
    EXPECT_TRUE(run.status.seen);
    EXPECT_EQ(run.status.title, "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation");
}
