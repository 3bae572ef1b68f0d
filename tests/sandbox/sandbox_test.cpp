// The sandbox itself: what runs inside stays inside, and the test sees it.
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

void shell(Sandbox &sb, const std::string &script) {
    sb.command = {"/bin/sh", "-c", script};
    ASSERT_TRUE(sandboxRun(sb));
}

TEST(Sandbox, FeedsInputAndCapturesOutputAndStatus) {
    NEED_SANDBOX();
    Sandbox sb;
    sb.input = "first\nsecond";
    shell(sb, "read a; read b; echo \"$a+$b\"; echo oops >&2; pwd; exit 7");
    EXPECT_EQ(sb.status, 7);
    EXPECT_FALSE(sb.timedOut);
    EXPECT_EQ(sb.out, "first+second\n/dist\n");
    EXPECT_EQ(sb.err, "oops\n");
}

TEST(Sandbox, KeepsEveryChangeInsideAndShowsIt) {
    NEED_SANDBOX();
    std::string before = sandboxHostSnapshot();
    Sandbox sb;
    sandboxMkdir(sb, "/usr/Zarvo/osxx");
    sandboxWrite(sb, "/usr/Zarvo/osxx/OstrelD", "daemon");
    sandboxSymlink(sb, "/opt/link", "/usr/Zarvo/osxx");
    sandboxWrite(sb, "/tmp/old.log", "old");
    shell(sb, "set -e; mkdir -p /opt/Zarvo/osxx /var/spool/Zarvo /newdisk /etc/rc2.d;"
              "echo x >/opt/Zarvo/osxx/f; rm -rf /usr/Zarvo/osxx; rm /opt/link;"
              "ln -s /opt/Zarvo/osxx /usr/Zarvo/osxx; echo log >/tmp/setup.log;"
              "touch /etc/rc2.d/KZarvoPrintD; cat /tmp/old.log");
    EXPECT_EQ(sb.status, 0) << sb.err;
    EXPECT_EQ(sb.out, "old");
    EXPECT_EQ(sandboxType(sb, "/opt/Zarvo/osxx"), 'd');
    EXPECT_EQ(sandboxRead(sb, "/opt/Zarvo/osxx/f"), "x\n");
    EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx"), 'l');
    EXPECT_EQ(sandboxReadLink(sb, "/usr/Zarvo/osxx"), "/opt/Zarvo/osxx");
    EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx/OstrelD"), 0);
    EXPECT_EQ(sandboxType(sb, "/opt/link"), 0);
    EXPECT_TRUE(sandboxChanged(sb, "/opt/link"));
    EXPECT_FALSE(sandboxChanged(sb, "/usr/bin"));
    EXPECT_EQ(sandboxRead(sb, "/tmp/setup.log"), "log\n");
    EXPECT_TRUE(sandboxChanged(sb, "/newdisk"));
    EXPECT_EQ(sandboxType(sb, "/usr/bin/env"), 'f');
    auto changes = sandboxChanges(sb);
    EXPECT_NE(std::find(changes.begin(), changes.end(), "-/opt/link"), changes.end());
    EXPECT_NE(std::find(changes.begin(), changes.end(), "/etc/rc2.d/KZarvoPrintD"), changes.end());
    EXPECT_EQ(sandboxHostSnapshot(), before);
}

TEST(Sandbox, KillsARunThatOutlivesItsTimeOut) {
    NEED_SANDBOX();
    Sandbox sb;
    sb.timeout = 1;
    shell(sb, "(sleep 60 &); sleep 60");
    EXPECT_TRUE(sb.timedOut);
    EXPECT_EQ(sb.status, 124);
}

TEST(Sandbox, PutsTheFakesFirstAndFollowsTheirKnobs) {
    NEED_SANDBOX();
    Sandbox sb;
    sandboxFake(sb, "ps.1", "120 cupsd\n133 cupsd\n");
    sandboxFake(sb, "ps.2", "77 lpd\n");
    sandboxFake(sb, "df", "/ 1000\n/opt 250\n");
    sandboxFake(sb, "du", "/opt/Zarvo 42\n");
    sandboxFake(sb, "whoami", "lp\n");
    sandboxFake(sb, "lpd", "lpd (LPRng) 3.8.35\n");
    sandboxMkdir(sb, "/opt/Zarvo");
    shell(sb, "command -v ps; ps -ace; ps -ace; df /opt/Zarvo; df /usr; du -s /opt/Zarvo;"
              "whoami; lpd -V");
    EXPECT_EQ(sb.status, 0) << sb.err;
    const char *want = "/usr/sbin/ps\n"
                       "    PID CLS PRI TTY          TIME CMD\n"
                       "    120 TS   19 ?        00:00:00 cupsd\n"
                       "    133 TS   19 ?        00:00:00 cupsd\n"
                       "    PID CLS PRI TTY          TIME CMD\n"
                       "     77 TS   19 ?        00:00:00 lpd\n";
    ASSERT_EQ(sb.out.substr(0, strlen(want)), want);
    EXPECT_NE(sb.out.find(" 250   1% /opt\n"), std::string::npos) << sb.out;
    EXPECT_NE(sb.out.find(" 1000   1% /\n"), std::string::npos) << sb.out;
    EXPECT_NE(sb.out.find("42\t/opt/Zarvo\nlp\nlpd (LPRng) 3.8.35\n"), std::string::npos);
    EXPECT_EQ(sandboxCalls(sb), "ps -ace\nps -ace\ndf /opt/Zarvo\ndf /usr\ndu -s /opt/Zarvo\n"
                                "whoami \nlpd -V\n");
}

TEST(Sandbox, LeavesOutAbsentFakesAndShowsTheInstaller) {
    NEED_SANDBOX();
    Sandbox sb;
    sandboxFake(sb, "absent", "lpd\n");
    sandboxWrite(sb, "/dist/isize", "1000\n");
    shell(sb, "test -e /usr/sbin/lpd && echo lpd; test -x /dist/setup && echo setup; "
              "cat /dist/isize; touch /dist/x 2>/dev/null || echo read-only");
    EXPECT_EQ(sb.out, "setup\n1000\nread-only\n");
}

TEST(Sandbox, RunsThisProgramInside) {
    if (sandboxInside()) {
        std::ifstream in("/.sandbox/marker");
        std::string s;
        std::getline(in, s);
        printf("inside with %s\n", s.c_str());
        return;
    }
    NEED_SANDBOX();
    Sandbox sb;
    sandboxFake(sb, "marker", "knob");
    ASSERT_TRUE(sandboxRunSelf(sb, "Sandbox.RunsThisProgramInside"));
    EXPECT_EQ(sb.status, 0) << sb.err;
    EXPECT_NE(sb.out.find("inside with knob\n"), std::string::npos) << sb.out;
}

} // namespace
