// Pass-phrase input on a pseudo-terminal: echo off and restored, the cut, the time-out,
// interrupt and stop signals, and reading without a terminal.
#include "toolkit/textmenu/passphrase.h"

#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tests/toolkit/textmenu/menu_io.h"
#include "toolkit/runtime/memory.h"

namespace {

bool EchoOn(int fd) {
    struct termios t;
    return tcgetattr(fd, &t) == 0 && (t.c_lflag & ECHO);
}

// In the child: reads a pass-phrase and reports "<answer>|<echo before><echo after>".
void AskAndReport(int report) {
    char before = EchoOn(0) ? '1' : '0';
    char *answer = GetPassPhrase("Pass: ");
    char after = EchoOn(0) ? '1' : '0';
    PtyReport(report, std::string(answer) + "|" + before + after);
    close(report);
}

TEST(GetPassPhrase, ReadsWithEchoOffAndRestoresIt) {
    PtyChild c = StartOnPty(24, 80, AskAndReport);
    ASSERT_TRUE(c.Expect("Pass: "));
    ASSERT_TRUE(c.WaitEcho(false));
    c.Type("secret\n");
    EXPECT_EQ(c.Report(), "secret|11");
    EXPECT_EQ(c.Wait(), 0);
    EXPECT_EQ(c.seen.find("secret"), std::string::npos);     // never echoed
    EXPECT_NE(c.seen.find("Pass: \r\n"), std::string::npos); // the line end is supplied
}

TEST(GetPassPhrase, LongAnswerIsCutTo256) {
    PtyChild c = StartOnPty(24, 80, AskAndReport);
    ASSERT_TRUE(c.Expect("Pass: "));
    ASSERT_TRUE(c.WaitEcho(false));
    c.Type(std::string(300, 'k') + "\n");
    EXPECT_EQ(c.Report(), std::string(256, 'k') + "|11");
    EXPECT_EQ(c.Wait(), 0);
}

TEST(GetPassPhrase, TimeOutGivesEmptyAnswer) {
    PtyChild c = StartOnPty(24, 80, [](int report) {
        PassPhraseTimeout = 1;
        AskAndReport(report);
    });
    ASSERT_TRUE(c.Expect("Pass: "));
    EXPECT_EQ(c.Report(), "|11");
    EXPECT_EQ(c.Wait(), 0);
}

TEST(GetPassPhrase, InterruptRestoresTerminalThenTakesEffect) {
    PtyChild c = StartOnPty(24, 80, AskAndReport);
    ASSERT_TRUE(c.Expect("Pass: "));
    ASSERT_TRUE(c.WaitEcho(false));
    c.Type("ab\003");
    int status = c.Wait();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, SIGINT);
}

TEST(GetPassPhrase, StopRestoresEchoAndAsksAgainAfterContinue) {
    // The reader runs in a foreground process group of its own whose parent
    // shares the session, so that a stop signal really stops it.
    PtyChild c = StartOnPty(24, 80, [](int report) {
        pid_t reader = fork();
        if (reader == 0) {
            signal(SIGTTOU, SIG_IGN);
            setpgid(0, 0);
            tcsetpgrp(0, getpid());
            signal(SIGTTOU, SIG_DFL);
            char *answer = GetPassPhrase("Pass: ");
            PtyReport(report, std::string("answer=") + answer);
            _exit(0);
        }
        setpgid(reader, reader);
        int status;
        waitpid(reader, &status, WUNTRACED);
        if (WIFSTOPPED(status)) {
            PtyReport(report, std::string("stopped echo=") + (EchoOn(0) ? "1;" : "0;"));
            kill(reader, SIGCONT);
            waitpid(reader, &status, 0);
        }
        close(report);
    });
    ASSERT_TRUE(c.Expect("Pass: "));
    ASSERT_TRUE(c.WaitEcho(false));
    c.Type("abc\032");
    ASSERT_TRUE(c.Expect("Pass: \r\nPass: ")); // asked anew after the continue
    ASSERT_TRUE(c.WaitEcho(false));
    c.Type("xyz\n");
    EXPECT_EQ(c.Report(), "stopped echo=1;answer=xyz");
    EXPECT_EQ(c.Wait(), 0);
}

TEST(GetPassPhrase, WithoutTerminalReadsStandardInput) {
    ScratchDir dir;
    writeFile((dir / "in"), "line one\nline two\n");
    int err[2], rep[2];
    ASSERT_EQ(pipe(err), 0);
    ASSERT_EQ(pipe(rep), 0);
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        setsid(); // no controlling terminal
        if (!freopen((dir / "in").c_str(), "r", stdin)) _exit(2);
        dup2(err[1], 2);
        char *answer = GetPassPhrase("P: ");
        PtyReport(rep[1], answer);
        _exit(0);
    }
    close(err[1]);
    close(rep[1]);
    PtyChild reader; // only for its pipe reading
    reader.result = rep[0];
    EXPECT_EQ(reader.Report(), "line one");
    reader.result = err[0];
    EXPECT_EQ(reader.Report(), "P: \n");
    close(err[0]);
    close(rep[0]);
    int status;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
}

} // namespace
