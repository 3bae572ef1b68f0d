// Command execution by mode against recording fake commands: echo, log, redirection,
// failures that warn or end the run, over-long lines and missing commands.
#include "tests/toolkit/syscmd/fakesys.h"

#include <cerrno>

using namespace fakesys;

namespace {

class SysCmdTest : public FakeSystem {
  protected:
    // The line the shell was given for a row command ("sh -c LINE").
    std::string ShellLine(const std::string &inner) const { return "sh -c " + inner + "\n"; }
    std::string ToLog() const { return " 1>>" + logPath + " 2>>" + logPath; }
};

TEST_F(SysCmdTest, Mode1BuildsLogsAndRedirectsTheLine) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(ROW_RM_RF, SYSCMD_WARN, " %s", "/tmp/x"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
    std::string run = bin + "/rm -rf  /tmp/x";
    EXPECT_EQ(Record(), ShellLine(run + ToLog()) + "rm -rf /tmp/x\n");
    EXPECT_EQ(Log(), bin + "/sh -c \"" + run + "\n");
}

TEST_F(SysCmdTest, Mode0DiscardsOutputAndLogsNothing) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(ROW_RM_RF, SYSCMD_QUIET, " %s", "/tmp/x"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Record(),
              ShellLine(bin + "/rm -rf  /tmp/x 1>/dev/null 2>/dev/null") + "rm -rf /tmp/x\n");
    EXPECT_FALSE(pathExists(logPath));
}

TEST_F(SysCmdTest, QuietRowIsNeitherEchoedLoggedNorRedirected) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(-ROW_MV, SYSCMD_WARN, "%s %s", "a", "b"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Record(), ShellLine(bin + "/mv -f a b") + "mv -f a b\n");
    EXPECT_FALSE(pathExists(logPath));
}

TEST_F(SysCmdTest, CommandOutputIsAppendedToTheLogAfterItsLine) {
    setenv("FAKECMD_OUT_cat", "hello", 1);
    testing::internal::CaptureStdout();
    SysCmd(ROW_CAT, SYSCMD_FATAL, "%s", "f");
    testing::internal::GetCapturedStdout();
    unsetenv("FAKECMD_OUT_cat");
    EXPECT_EQ(Log(), bin + "/sh -c \"" + bin + "/cat  f\nhello\n");
}

TEST_F(SysCmdTest, WithoutLoggingMode1OutputGoesToDevNull) {
    flUseLog = 0;
    flSysCmdLog = 0;
    EXPECT_EQ(SysCmd(ROW_RM_F, SYSCMD_WARN, "%s", "y"), 0);
    EXPECT_EQ(Record(), ShellLine(bin + "/rm -f y 1>>/dev/null 2>>/dev/null") + "rm -f y\n");
}

TEST_F(SysCmdTest, RawLines) {
    std::string touch = bin + "/touch";
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(ROW_LINE, SYSCMD_WARN, "%s a", touch.c_str()), 0);
    EXPECT_EQ(SysCmd(ROW_LINE_QUIET, SYSCMD_WARN, "%s b", touch.c_str()), 0);
    EXPECT_EQ(SysCmd(ROW_LINE_QUIET, SYSCMD_QUIET, "%s c", touch.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
    EXPECT_EQ(Record(), "touch a\ntouch b\ntouch c\n");
    EXPECT_EQ(Log(), touch + " a\n");
}

TEST_F(SysCmdTest, NonZeroExitIsAFailure) {
    setenv("FAKECMD_EXIT_cp", "1", 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(ROW_CP_P, SYSCMD_WARN, "%s %s", "a", "b"), 1);
    EXPECT_EQ(SysCmd(ROW_CP_P, SYSCMD_QUIET, "%s %s", "a", "b"), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Log(), bin + "/sh -c \"" + bin + "/cp -p a b\nWARNING_MSG: cp: exit status 1\n");
    Forked r = sandboxFork([] { SysCmd(ROW_CP_P, SYSCMD_FATAL, "%s %s", "a", "b"); });
    unsetenv("FAKECMD_EXIT_cp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, ".ERROR: cp: exit status 1\n");
    EXPECT_NE(Log().find("ERROR: cp: exit status 1\n"), std::string::npos);
}

TEST_F(SysCmdTest, ExitStatusIsReturnedAsIs) {
    setenv("FAKECMD_EXIT_ln", "4", 1);
    EXPECT_EQ(SysCmd(ROW_LN, SYSCMD_QUIET, "%s", "x"), 4);
    unsetenv("FAKECMD_EXIT_ln");
    EXPECT_EQ(SysCmd(ROW_LN, SYSCMD_QUIET, "%s", "x"), 0);
}

TEST_F(SysCmdTest, KilledCommandCountsAs128PlusSignal) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(ROW_LINE, SYSCMD_WARN, "kill -KILL $$"), 137);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(Log().find("WARNING_MSG: kill: exit status 137\n"), std::string::npos);
}

TEST_F(SysCmdTest, OverLongLineIsRefusedNotCut) {
    std::string prefix = bin + "/sh -c \"" + bin + "/rm -rf ";
    std::string tail = " 1>/dev/null 2>/dev/null\"";
    std::string fits(SYSCMD_MAX_LINE - prefix.size() - tail.size(), 'a');
    EXPECT_EQ(SysCmd(ROW_RM_RF, SYSCMD_QUIET, "%s", fits.c_str()), 0);
    std::string ran = bin + "/rm -rf " + fits + " 1>/dev/null 2>/dev/null";
    EXPECT_TRUE(Record() == ShellLine(ran) + "rm -rf " + fits + "\n");
    unlink(record.c_str());
    std::string tooLong = fits + "a";
    EXPECT_EQ(SysCmd(ROW_RM_RF, SYSCMD_QUIET, "%s", tooLong.c_str()), E2BIG);
    EXPECT_EQ(SysCmd(ROW_RM_RF, SYSCMD_WARN, "%s", tooLong.c_str()), E2BIG);
    EXPECT_FALSE(pathExists(record));
    std::string size = std::to_string(prefix.size() + tooLong.size() + ToLog().size() + 1);
    EXPECT_EQ(Log(), "WARNING_MSG: rm: command line too long (" + size + " characters)\n");
    Forked r = sandboxFork([&] { SysCmd(ROW_RM_RF, SYSCMD_FATAL, "%s", tooLong.c_str()); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ERROR: rm: command line too long (" + size + " characters)\n");
    EXPECT_FALSE(pathExists(record));
}

TEST_F(SysCmdTest, MissingCommandEndsTheRunWithStatus0) {
    ComList[ROW_CANCEL].directory = nullptr;
    Forked r = sandboxFork([] { SysCmd(ROW_CANCEL, SYSCMD_WARN, "%s", "x"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR: unable to locate system command 'cancel'\n");
    r = sandboxFork([] { GetCmdResponse(ROW_CANCEL, nullptr, "%s", "x"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR: unable to locate system command 'cancel'\n");
    ComList[SHELL_ROW].directory = nullptr;
    r = sandboxFork([] { SysCmd(ROW_CAT, SYSCMD_WARN, "%s", "x"); });
    EXPECT_EQ(r.err, "ERROR: unable to locate system command 'sh'\n");
}

TEST_F(SysCmdTest, RowsAreLookedUpLazilyBeforeTheTableIsFilled) {
    ClearComTable();
    flInitSysCmd = 1;
    char *saved = FullSearchPath;
    FullSearchPath = SaveStr("%s/none:%s", tmp.path.c_str(), bin.c_str());
    EXPECT_EQ(SysCmd(ROW_TOUCH, SYSCMD_QUIET, "%s", "f"), 0);
    EXPECT_STREQ(ComList[ROW_TOUCH].directory, bin.c_str());
    EXPECT_STREQ(ComList[SHELL_ROW].directory, bin.c_str());
    EXPECT_EQ(ComList[ROW_RM_F].directory, nullptr);
    PutMem(ComList[ROW_TOUCH].directory);
    PutMem(ComList[SHELL_ROW].directory);
    PutMem(FullSearchPath);
    FullSearchPath = saved;
}

TEST_F(SysCmdTest, RawLinesLookUpTheShellLazilyToo) {
    ClearComTable();
    flInitSysCmd = 1;
    char *saved = FullSearchPath;
    FullSearchPath = SaveStr("%s", bin.c_str());
    std::string touch = bin + "/touch";
    EXPECT_EQ(SysCmd(ROW_LINE_QUIET, SYSCMD_QUIET, "%s a", touch.c_str()), 0);
    EXPECT_STREQ(ComList[SHELL_ROW].directory, bin.c_str());
    PutMem(ComList[SHELL_ROW].directory);
    PutMem(FullSearchPath);
    FullSearchPath = saved;
}

// A link planted over the log after the run's first message must not carry
// a command's output into the file it points at.
TEST_F(SysCmdTest, OutputNeverGoesThroughALinkPlantedOverTheLog) {
    PutLogMsg("start\n");
    std::string target = tmp / "target";
    writeFile(target, "precious\n");
    unlink(logPath.c_str());
    symlink(target.c_str(), logPath.c_str());
    setenv("FAKECMD_OUT_cat", "hello", 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(SysCmd(ROW_CAT, SYSCMD_WARN, "%s", "f"), 0);
    EXPECT_EQ(SysCmd(ROW_LINE, SYSCMD_FATAL, "%s/cat g", bin.c_str()), 0);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    unsetenv("FAKECMD_OUT_cat");
    EXPECT_EQ(readFile(target), "precious\n");
    EXPECT_EQ(Record(), ShellLine(bin + "/cat  f 1>>/dev/null 2>>/dev/null") + "cat f\ncat g\n");
}

TEST_F(SysCmdTest, WaitForProcessReturnsOnceItShows) {
    setenv("FAKE_PS_PROCS", "42:lpc", 1);
    ComList[ROW_LPC].wait = -1;
    EXPECT_EQ(SysCmd(ROW_LPC, SYSCMD_QUIET, "%s", "x"), 0);
    ComList[ROW_LPC].wait = 1;
    EXPECT_NE(Record().find("ps -ace"), std::string::npos);
}

TEST_F(SysCmdTest, ResponseListHoldsEveryLineInOrder) {
    CmdResponse *list = GetCmdResponse(ROW_DF, "", "%s", "/");
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->pNext, nullptr);
    EXPECT_STREQ(list->pStr, "Filesystem     1K-blocks     Used Available Use% Mounted on\n");
    EXPECT_STREQ(list->pNext->pStr, "/dev/sda1       30973584  1000000  29973584   3% /\n");
    EXPECT_EQ(list->pNext->pNext, nullptr);
    EXPECT_EQ(FreeResponseList(list), nullptr);
    EXPECT_EQ(Record(), "df /\n");
}

TEST_F(SysCmdTest, ResponseFilterKeepsMatchingLines) {
    setenv("FAKE_PS_PROCS", "1:init 7:cupsd 9:lpd", 1);
    CmdResponse *list = GetCmdResponse(ROW_PS, "cups", "");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->pStr, "      7 TS   19 ?        00:00:00 cupsd\n");
    EXPECT_EQ(list->pNext, nullptr);
    FreeResponseList(list);
    EXPECT_EQ(GetCmdResponse(ROW_PS, "nothing", ""), nullptr);
    EXPECT_EQ(GetCmdResponseStr(ROW_PS, "nothing", ""), nullptr);
    char *text = GetCmdResponseStr(ROW_PS, "d", "");
    EXPECT_STREQ(
        text, "      7 TS   19 ?        00:00:00 cupsd\n      9 TS   19 ?        00:00:00 lpd\n");
    PutMem(text);
}

TEST_F(SysCmdTest, LongOutputLinesComeInPiecesWithNewlinesAdded) {
    std::string big(5000, 'x');
    setenv("FAKECMD_OUT_echo", big.c_str(), 1);
    CmdResponse *list = GetCmdResponse(ROW_ECHO, nullptr, "");
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->pNext, nullptr);
    EXPECT_EQ(strlen(list->pStr), 4095u);
    EXPECT_EQ(std::string(list->pNext->pStr), std::string(905, 'x') + "\n");
    FreeResponseList(list);
    char *text = GetCmdResponseStr(ROW_ECHO, nullptr, "");
    unsetenv("FAKECMD_OUT_echo");
    EXPECT_EQ(std::string(text), std::string(4095, 'x') + "\n" + std::string(905, 'x') + "\n");
    PutMem(text);
}

TEST_F(SysCmdTest, ResponseLineTooLongIsRefused) {
    std::string big(5000, 'a');
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetCmdResponse(ROW_ECHO, nullptr, "%s", big.c_str()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("command line too long"),
              std::string::npos);
    EXPECT_FALSE(pathExists(record));
}

TEST_F(SysCmdTest, SysCmdPReportsExitStatus) {
    std::string cp = bin + "/cp";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(SysCmdP(SYSCMD_WARN, "%s a b", cp.c_str()), 0);
    setenv("FAKECMD_EXIT_cp", "3", 1);
    EXPECT_EQ(SysCmdP(SYSCMD_WARN, "%s a b", cp.c_str()), 3);
    unsetenv("FAKECMD_EXIT_cp");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), cp + " a b\n" + cp + " a b\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING_MSG: cp: exit status 3\n");
}

} // namespace
