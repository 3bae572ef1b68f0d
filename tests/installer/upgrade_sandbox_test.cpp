// The installer end to end, in a sandbox: finding a previous installation,
// the space check, the process check, the move to a new base, the readiness
// questions and the clean-up, as a user at the terminal sees them.
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char *const kNotRoot = "lp is logged in\nYou must become root to run setup\n";
const char *const kQuestion = "\nDo You want to continue with the installation? [yn] ";
const char *const kRunning = "\nThe following processes are running.\nThe installer can not "
                             "continue until these terminate:\nosqadmin ( 120 )\n\n";
const char *const kPrompt = "\nEnter a selection:  ";

int count(const std::string &s, const std::string &what) {
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

bool has(const std::string &s, const std::string &what) {
    return s.find(what) != std::string::npos;
}

// A distribution that asks for little space; `user` is whoami's answer (a
// user other than root stops the run before anything is unpacked).
void prepare(Sandbox &sb, const char *user, const std::string &answers = "") {
    sandboxWrite(sb, "/dist/isize", "100\n");
    sandboxWrite(sb, "/dist/tsize", "100\n");
    sandboxWrite(sb, "/dist/disks", "disks\nisize\ntsize\nend_of_list\n");
    sandboxFake(sb, "whoami", std::string(user) + "\n");
    sb.input = "y\n" + answers; // the licence first
}

// An installation at base (its application directory holds a marker file);
// /usr/Zarvo/osxx links to it when base is not /usr.
void installed(Sandbox &sb, const std::string &base) {
    sandboxWrite(sb, base + "/Zarvo/osxx/marker", "kept");
    if (base != "/usr") sandboxSymlink(sb, "/usr/Zarvo/osxx", base + "/Zarvo/osxx");
}

bool run(Sandbox &sb, std::vector<std::string> args = {}) {
    sb.args = std::move(args);
    return sandboxRun(sb);
}

TEST(SetupInSandbox, NotRootInstallsNothingAndCleansUp) {
    NEED_SANDBOX();
    std::string before = sandboxHostSnapshot();
    Sandbox sb;
    prepare(sb, "lp");
    ASSERT_TRUE(run(sb));
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.out, kNotRoot)) << sb.out;
    EXPECT_TRUE(sb.out.size() >= 4 && sb.out.substr(sb.out.size() - 4) == "...\n") << sb.out;
    EXPECT_EQ(sandboxChanges(sb), std::vector<std::string>{});
    EXPECT_EQ(sandboxType(sb, "/tmp/ZarvoInstall"), 0);
    EXPECT_TRUE(has(sandboxRead(sb, "/tmp/setup.log"), "rm -rf  /tmp/ZarvoInstall"));
    EXPECT_EQ(sandboxHostSnapshot(), before);
}

struct Previous {
    const char *name;
    const char *link;  // /usr/Zarvo/osxx as a link ("" real directory, null none)
    const char *where; // directory the link's target lives in (made)
    char left;         // /usr/Zarvo/osxx afterwards
    bool upgrade;      // the run treated it as an upgrade (ps was asked)
};

TEST(SetupInSandbox, FindsThePreviousInstallation) {
    NEED_SANDBOX();
    const Previous cases[] = {
        {"none", nullptr, nullptr, 0, false},
        {"real directory under /usr", "", nullptr, 'd', true},
        {"link to /opt", "/opt/Zarvo/osxx", "/opt/Zarvo/osxx", 'l', true},
        {"dangling link", "/gone/Zarvo/osxx", nullptr, 0, false},
        {"relative link", "../../opt/Zarvo/osxx", "/opt/Zarvo/osxx", 'l', true},
    };
    for (const Previous &c : cases) {
        Sandbox sb;
        prepare(sb, "lp");
        if (c.where) sandboxWrite(sb, std::string(c.where) + "/marker", "kept");
        if (c.link && *c.link) sandboxSymlink(sb, "/usr/Zarvo/osxx", c.link);
        if (c.link && !*c.link) sandboxWrite(sb, "/usr/Zarvo/osxx/marker", "kept");
        sb.cwd = "/tmp"; // a relative link must not be read from here
        ASSERT_TRUE(run(sb));
        EXPECT_EQ(sb.status, 0) << c.name << "\n" << sb.out << sb.err;
        EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx"), c.left) << c.name;
        EXPECT_EQ(has(sandboxCalls(sb), "ps -ace"), c.upgrade) << c.name;
        if (c.where) {
            EXPECT_EQ(sandboxRead(sb, std::string(c.where) + "/marker"), "kept");
        }
    }
}

TEST(SetupInSandbox, MovesFromUsrToOptAndLinksTheWellKnownName) {
    NEED_SANDBOX();
    Sandbox sb;
    prepare(sb, "lp");
    installed(sb, "/usr");
    ASSERT_TRUE(run(sb, {"install", "/opt"}));
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_EQ(sandboxRead(sb, "/opt/Zarvo/osxx/marker"), "kept");
    EXPECT_EQ(sandboxMode(sb, "/opt/Zarvo"), 0755);
    EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx"), 'l');
    EXPECT_EQ(sandboxReadLink(sb, "/usr/Zarvo/osxx"), "/opt/Zarvo/osxx");
    std::string log = sandboxRead(sb, "/tmp/setup.log");
    EXPECT_TRUE(has(log, "rm -rf  /opt/Zarvo/osxx")) << log;
    EXPECT_TRUE(has(log, "mv -f -f /usr/Zarvo/osxx /opt/Zarvo")) << log;
    EXPECT_TRUE(has(log, "ln  -s /opt/Zarvo/osxx /usr/Zarvo/osxx")) << log;
}

TEST(SetupInSandbox, NeverMovesOntoItselfUnderAnotherName) {
    NEED_SANDBOX();
    for (const char *target : {"/usr/../../opt", "/opt/.", "/opt//"}) {
        Sandbox sb;
        prepare(sb, "lp");
        installed(sb, "/opt");
        ASSERT_TRUE(run(sb, {"install", target}));
        EXPECT_EQ(sb.status, 0) << target << "\n" << sb.out << sb.err;
        EXPECT_EQ(sandboxRead(sb, "/opt/Zarvo/osxx/marker"), "kept") << target;
        EXPECT_EQ(sandboxReadLink(sb, "/usr/Zarvo/osxx"), "/opt/Zarvo/osxx") << target;
        EXPECT_FALSE(has(sandboxRead(sb, "/tmp/setup.log"), "mv ")) << target;
    }
}

TEST(SetupInSandbox, RunningProgramsChoiceTwoQuits) {
    NEED_SANDBOX();
    Sandbox sb;
    prepare(sb, "lp", "2\n");
    installed(sb, "/usr");
    sandboxFake(sb, "ps", "120 osqadmin\n");
    ASSERT_TRUE(run(sb, {"install", "/opt"}));
    EXPECT_EQ(sb.status, 0);
    EXPECT_TRUE(has(sb.out, kRunning)) << sb.out;
    EXPECT_EQ(count(sb.out, kPrompt), 1);
    EXPECT_EQ(sandboxRead(sb, "/usr/Zarvo/osxx/marker"), "kept"); // not moved
    EXPECT_EQ(sandboxType(sb, "/opt/Zarvo"), 0);
}

TEST(SetupInSandbox, RunningProgramsChoiceOneWaitsUntilTheyEnd) {
    NEED_SANDBOX();
    Sandbox sb;
    prepare(sb, "lp", "1\n");
    installed(sb, "/usr");
    sandboxFake(sb, "ps", "120 osqadmin\n");
    sandboxFake(sb, "ps.8", ""); // gone at the first look after 5 seconds (7 names a look)
    ASSERT_TRUE(run(sb, {"install", "/opt"}));
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_EQ(count(sb.out, kPrompt), 1);
    EXPECT_EQ(sandboxRead(sb, "/opt/Zarvo/osxx/marker"), "kept"); // moved after the wait
}

TEST(SetupInSandbox, SpaceShortStopsBeforeAnythingChanges) {
    NEED_SANDBOX();
    Sandbox sb;
    prepare(sb, "root");
    installed(sb, "/usr");
    sandboxFake(sb, "df", "/ 200\n");
    ASSERT_TRUE(run(sb, {"install", "/opt"}));
    EXPECT_EQ(sb.status, 0);
    EXPECT_TRUE(has(sb.out, "There isn't enough space to perform the installation activities. "
                            "As you are using a working directory, /tmp/ZarvoInstall on the same "
                            "partition as the install directory you have selected, /opt this "
                            "install requires 2.800000e+02 bytes free."))
        << sb.out;
    EXPECT_EQ(sandboxChanges(sb), std::vector<std::string>{});
    EXPECT_FALSE(has(sandboxCalls(sb), "ps -ace")); // the process check comes after
}

TEST(SetupInSandbox, MissingSizeFileStops) {
    NEED_SANDBOX();
    Sandbox sb;
    sandboxWrite(sb, "/dist/tsize", "100\n");
    sandboxWrite(sb, "/dist/disks", "disks\ntsize\nend_of_list\n");
    sb.input = "y\n";
    ASSERT_TRUE(run(sb));
    EXPECT_EQ(sb.status, 0);
    EXPECT_TRUE(has(sb.out, "Could not determine how much space needed for install, missing "
                            "isize.\n"));
    EXPECT_EQ(sandboxChanges(sb), std::vector<std::string>{});
}

struct Answer {
    const char *name;
    std::string input;
    int questions;
    bool goesOn; // the run went past the question
};

TEST(SetupInSandbox, EarlierDaemonQuestion) {
    NEED_SANDBOX();
    const Answer answers[] = {
        {"y", "y\n", 1, true},
        {"yes please", "yes please\n", 1, true},
        {"Y is asked again", "Y\ny\n", 2, true},
        {"n", "n\n", 1, false},
        {"end of input", "", 1, false},
    };
    for (const Answer &a : answers) {
        Sandbox sb;
        prepare(sb, "root", a.input);
        sandboxWrite(sb, "/usr/Zarvo/osxx/OstrelD", "");
        sandboxWrite(sb, "/etc/rc2.d/KZarvoPrintD", "");
        sandboxWrite(sb, "/etc/rc2.d/SZarvoPrintD", "");
        ASSERT_TRUE(run(sb));
        EXPECT_EQ(count(sb.out, kQuestion), a.questions) << a.name << "\n" << sb.out;
        EXPECT_EQ(sandboxType(sb, "/etc/rc2.d/KZarvoPrintD"), a.goesOn ? 0 : 'f') << a.name;
        EXPECT_EQ(sandboxType(sb, "/etc/rc2.d/SZarvoPrintD"), a.goesOn ? 0 : 'f') << a.name;
        if (!a.goesOn) {
            EXPECT_EQ(sb.status, 0) << a.name;
        }
    }
}

} // namespace
