// Command-line splitting and the choice of the batch action.
#include "batch/CommandLine.h"
#include "core/MainVariables.h"

#include <gtest/gtest.h>

namespace {

struct PlanCase {
    const char* line;
    BatchAction action;
    const char* dbPath;
    const char* runMode; // as the program keeps it
    const char* name;
    const char* prefix;
    const char* fileDir;
    const char* fileName;
};

class CommandLinePlanTest : public ::testing::TestWithParam<PlanCase> { };

TEST_P(CommandLinePlanTest, TokensAndAction)
{
    const PlanCase& c = GetParam();
    const CommandLinePlan plan = planCommandLine(QString::fromUtf8(c.line));
    EXPECT_EQ(plan.action, c.action);
    EXPECT_EQ(plan.dbPath, QString::fromUtf8(c.dbPath));
    EXPECT_EQ(runModeFor(plan.runMode), QString::fromUtf8(c.runMode));
    EXPECT_EQ(plan.name, QString::fromUtf8(c.name));
    EXPECT_EQ(plan.prefix, QString::fromUtf8(c.prefix));
    EXPECT_EQ(plan.fileDir, QString::fromUtf8(c.fileDir));
    EXPECT_EQ(plan.fileName, QString::fromUtf8(c.fileName));

    // The run's variables, as the start-up sets them, say the same.
    MainVariables vars;
    vars.RunMode = runModeFor(plan.runMode);
    vars.RunAction = plan.runAction;
    EXPECT_EQ(vars.batchRun(), c.action != BatchAction::None);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLinePlanTest,
    ::testing::Values(
        PlanCase {"", BatchAction::None, "", "interactive", "", "", "", ""},
        PlanCase {"db.mdb", BatchAction::None, "db.mdb", "interactive", "", "", "", ""},
        PlanCase {"  db.mdb   topic  create ADULT ADU /idx/ adult.txt extra", BatchAction::TopicCreate, "db.mdb", "topic",
                  "ADULT", "ADU", "/idx/", "adult.txt"},
        PlanCase {"db topic delete ADULT dropped /idx/ adult.txt", BatchAction::TopicDelete, "db", "topic", "ADULT", "",
                  "/idx/", "adult.txt"},
        PlanCase {"db code create ICD /c/ icd.txt", BatchAction::CodeCreate, "db", "code", "ICD", "", "/c/", "icd.txt"},
        PlanCase {"db code delete ICD", BatchAction::CodeDelete, "db", "code", "ICD", "", "", ""},
        PlanCase {"db code description CPT /d/ cpt.txt", BatchAction::CodeDescription, "db", "code", "CPT", "", "/d/",
                  "cpt.txt"},
        PlanCase {"db topic export ADULT /out/ adult.txt extra", BatchAction::TopicExport, "db", "topic", "ADULT", "",
                  "/out/", "adult.txt"},
        PlanCase {"db code export ICD /out/ icd.txt", BatchAction::CodeExport, "db", "code", "ICD", "", "/out/",
                  "icd.txt"},
        PlanCase {"db code export-descriptions ICD /out/ d.txt", BatchAction::CodeExportDescriptions, "db", "code",
                  "ICD", "", "/out/", "d.txt"},
        PlanCase {"db topic export-descriptions ADULT /out/ d.txt", BatchAction::None, "db", "topic", "", "", "", ""},
        PlanCase {"db code Export ICD /out/ icd.txt", BatchAction::None, "db", "code", "", "", "", ""},
        // A verb that starts no action leaves the mode word and opens the window.
        PlanCase {"db topic load ADULT", BatchAction::None, "db", "topic", "", "", "", ""},
        PlanCase {"db code", BatchAction::None, "db", "code", "", "", "", ""},
        // Exact, case-sensitive comparisons.
        PlanCase {"db Topic create ADULT", BatchAction::None, "db", "interactive", "", "", "", ""},
        PlanCase {"db topic Create ADULT", BatchAction::None, "db", "topic", "", "", "", ""},
        // A path holding a space cannot be given: the rest is the mode word.
        PlanCase {"my db.mdb topic create", BatchAction::None, "my", "interactive", "", "", "", ""},
        // Missing tokens read as empty.
        PlanCase {"db topic create", BatchAction::TopicCreate, "db", "topic", "", "", "", ""}));

} // namespace
