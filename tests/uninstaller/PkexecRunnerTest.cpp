#include "uninstaller/linux/PkexecRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace brivola::uninstaller;

namespace
{
/** A temporary folder with stand-ins for pkexec and removal scripts, removed afterwards. */
class PkexecRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("brivola-pkexec-" + std::to_string (::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all (folder);
        std::filesystem::create_directories (folder);
    }

    void TearDown() override { std::filesystem::remove_all (folder); }

    /** Writes an executable shell script and returns its path. */
    std::string writeScript (const std::string& name, const std::string& body)
    {
        const auto path = folder / name;
        std::filesystem::create_directories (path.parent_path());
        {
            std::ofstream out (path);
            out << "#!/bin/bash\n" << body << "\n";
        }
        ::chmod (path.c_str(), 0755);
        return path.string();
    }

    /** A pkexec that approves at once: runs its arguments (/bin/bash <script>) as the caller. */
    std::string approvingPkexec() { return writeScript ("pkexec", "exec \"$@\""); }

    std::filesystem::path folder;
};
} // namespace

TEST_F (PkexecRunnerTest, ScriptOutcomesBecomeTheFourValues)
{
    struct Case
    {
        const char* what;
        std::string launcherBody;   // the stand-in pkexec
        std::string scriptBody;
        bool hasError;
        std::int32_t errorNumber;
        std::string errorMessage;
        std::string output;
    };
    const std::vector<Case> cases {
        { "success with output", "exec \"$@\"", "echo 'Removed /usr/lib/vst3/Brivola.vst3'",
          false, 0, "", "Removed /usr/lib/vst3/Brivola.vst3\n" },
        { "success leaving unrecognised files", "exec \"$@\"", "echo a; echo 'Unrecognized files were left untouched.'",
          false, 0, "", "a\nUnrecognized files were left untouched.\n" },
        { "script refuses with status 3", "exec \"$@\"", "echo 'partial'; echo '  Refused: a link  ' >&2; exit 3",
          true, 3, "Refused: a link", "partial\n" },
        { "dialog dismissed (pkexec 126)", "echo 'Error executing command as another user: Request dismissed' >&2; exit 126", "exit 0",
          true, userCanceledErrorNumber, "Error executing command as another user: Request dismissed", "" },
        { "not authorised (pkexec 127), silent", "exit 127", "exit 0",
          true, userCanceledErrorNumber, "Administrator approval was not given.", "" },
        { "script killed by a signal", "exec \"$@\"", "kill -TERM $$",
          true, 128 + 15, "The removal script was stopped by signal 15.", "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        PkexecRunner runner (writeScript ("pkexec", c.launcherBody));
        const auto outcome = runner.run (writeScript ("uninstall-linux.sh", c.scriptBody));
        EXPECT_TRUE (outcome.approvalRequested);
        EXPECT_EQ (outcome.hasError, c.hasError);
        EXPECT_EQ (outcome.errorNumber, c.errorNumber);
        EXPECT_EQ (outcome.errorMessage, c.errorMessage);
        EXPECT_EQ (outcome.output, c.output);
        EXPECT_EQ (classifyOutcome (outcome, Platform::linuxDesktop).success, ! c.hasError);
    }
}

TEST_F (PkexecRunnerTest, HandsPkexecBashAndTheExactScriptPath)
{
    const auto launcher = writeScript ("pkexec", "printf '%s\\n' \"$#\" \"$@\"");
    const auto script = writeScript ("odd \"dir\" \\ 'x' $HOME/uninstall-linux.sh", "exit 0");
    const auto outcome = PkexecRunner (launcher).run (script);
    EXPECT_FALSE (outcome.hasError);
    EXPECT_EQ (outcome.output, "2\n/bin/bash\n" + script + "\n");
}

TEST_F (PkexecRunnerTest, AMissingLauncherMeansApprovalCouldNotBeRequested)
{
    const auto script = writeScript ("uninstall-linux.sh", "exit 0");
    const auto outcome = PkexecRunner ((folder / "no-such-pkexec").string()).run (script);
    EXPECT_FALSE (outcome.approvalRequested);
    EXPECT_EQ (classifyOutcome (outcome, Platform::linuxDesktop).title, "Brivola could not be uninstalled");
}

TEST_F (PkexecRunnerTest, ChildHasItsOwnSessionAndNoInput)
{
    // A script reading standard input ends at once (/dev/null), and cannot reach this terminal.
    const auto script = writeScript ("uninstall-linux.sh", "cat; read -r _ _ _ _ _ session _ < /proc/$$/stat; echo \"$session\"");
    const auto outcome = PkexecRunner (approvingPkexec()).run (script);
    ASSERT_FALSE (outcome.hasError) << outcome.errorMessage;
    EXPECT_NE (std::stol (outcome.output), static_cast<long> (::getsid (0)));
}

TEST_F (PkexecRunnerTest, LargeOutputOnBothStreamsNeitherBlocksNorGrowsWithoutBound)
{
    // 3 MB on each stream at once: a reader that drains one pipe at a time would deadlock.
    const auto script = writeScript ("uninstall-linux.sh",
                                     "(head -c 3000000 /dev/zero | tr '\\0' e >&2) & head -c 3000000 /dev/zero | tr '\\0' o; wait; exit 5");
    const auto outcome = PkexecRunner (approvingPkexec()).run (script);
    EXPECT_TRUE (outcome.hasError);
    EXPECT_EQ (outcome.errorNumber, 5);
    EXPECT_EQ (outcome.output.size(), PkexecRunner::maxCapturedBytes);
    EXPECT_EQ (outcome.errorMessage.size(), PkexecRunner::maxCapturedBytes);
    EXPECT_EQ (outcome.output.find_first_not_of ('o'), std::string::npos);
}
