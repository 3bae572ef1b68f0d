// System queries against fake ps, df, du, whoami and lpd: process lists and reports,
// killing by name, disk space, the user and the print subsystem.
#include "tests/toolkit/syscmd/fakesys.h"

#include <csignal>

using namespace fakesys;

namespace {

using SysQueryTest = FakeSystem;

TEST_F(SysQueryTest, PsIdListMatchesWholeCommandNames) {
    setenv("FAKE_PS_PROCS", "1:init 120:cupsd 125:cupsdx 133:cupsd", 1);
    char *ids = GetSysPsIdList("cupsd");
    EXPECT_STREQ(ids, " 120 133 ");
    PutMem(ids);
    EXPECT_EQ(GetSysPsIdList("cups"), nullptr);
    EXPECT_EQ(GetSysPsIdList("lpd"), nullptr);
    EXPECT_EQ(Record(), "ps -ace\nps -ace\nps -ace\n");
}

TEST_F(SysQueryTest, EmptyProcessNameStillAsksPsAndMatchesNothing) {
    EXPECT_EQ(GetSysPsIdList(""), nullptr);
    EXPECT_EQ(Record(), "ps -ace\n");
    ComList[ROW_PS].directory = nullptr;
    Forked r = sandboxFork([] { GetSysPsIdList(""); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR: unable to locate system command 'ps'\n");
}

TEST_F(SysQueryTest, PsLinesWithTooFewFieldsDoNotMatch) {
    writeFile(tmp / "procs", "7\n8 lpd\n");
    setenv("FAKE_PS_FILE", (tmp / "procs").c_str(), 1);
    char *ids = GetSysPsIdList("lpd");
    EXPECT_STREQ(ids, " 8 ");
    PutMem(ids);
}

TEST_F(SysQueryTest, ProcessReport) {
    setenv("FAKE_PS_PROCS", "77:lpd", 1);
    char *report = CheckProcTableForExecs("cupsd,lpd");
    EXPECT_STREQ(report, "lpd ( 77 )\n");
    PutMem(report);
    setenv("FAKE_PS_PROCS", "77:lpd 5:cupsd 6:cupsd", 1);
    report = CheckProcTableForExecs("cupsd,lpd,osadmin");
    EXPECT_STREQ(report, "cupsd ( 5 6 )\nlpd ( 77 )\n");
    PutMem(report);
    EXPECT_EQ(CheckProcTableForExecs("osadmin,qsf"), nullptr);
    EXPECT_EQ(SniffCUPS(), 1);
    unsetenv("FAKE_PS_PROCS");
    EXPECT_EQ(SniffCUPS(), 0);
}

TEST_F(SysQueryTest, ProcessReportStaysWithin1023Characters) {
    std::string procs, names;
    for (int i = 0; i < 40; i++) {
        std::string n = "prog" + std::string(30, 'a' + i % 26) + std::to_string(i);
        procs += std::to_string(1000 + i) + ":" + n + " ";
        names += n + ",";
    }
    setenv("FAKE_PS_PROCS", procs.c_str(), 1);
    char *report = CheckProcTableForExecs(names.c_str());
    ASSERT_NE(report, nullptr);
    EXPECT_LE(strlen(report), 1023u);
    EXPECT_EQ(report[strlen(report) - 1], '\n');
    PutMem(report);
}

TEST_F(SysQueryTest, KillProcessByNameKillsEveryProcessOfThatName) {
    pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    std::string procs = std::to_string(child) + ":zzvictim";
    setenv("FAKE_PS_PROCS", procs.c_str(), 1);
    EXPECT_EQ(KillProcessByName("zzvictim"), 1);
    int st = 0;
    waitpid(child, &st, 0);
    EXPECT_TRUE(WIFSIGNALED(st));
    EXPECT_EQ(WTERMSIG(st), SIGKILL);
}

TEST_F(SysQueryTest, DiskSpaceOfGnuDf) {
    DiskSpace ds;
    EXPECT_EQ(GetDiskSpace(tmp.path.c_str(), &ds), 1);
    EXPECT_EQ(ds.Avail, 29973584.0);
    EXPECT_STREQ(ds.Text, "/dev/sda1       30973584  1000000  29973584   3% /\n");
    EXPECT_EQ(Record(), "df " + tmp.path + "\n");
}

TEST_F(SysQueryTest, DiskSpaceComparesFileSystemsByText) {
    writeFile(tmp / "table", "/ /dev/sda1 1000\n" + tmp.path + "/big /dev/sdb1 5000\n");
    mkdir((tmp / "big").c_str(), 0755);
    setenv("FAKE_DF_TABLE", (tmp / "table").c_str(), 1);
    DiskSpace root, big, sub;
    ASSERT_EQ(GetDiskSpace(tmp.path.c_str(), &root), 1);
    ASSERT_EQ(GetDiskSpace((tmp / "big").c_str(), &big), 1);
    mkdir((tmp / "big/sub").c_str(), 0755);
    ASSERT_EQ(GetDiskSpace((tmp / "big/sub").c_str(), &sub), 1);
    EXPECT_EQ(root.Avail, 1000.0);
    EXPECT_EQ(big.Avail, 5000.0);
    EXPECT_STRNE(root.Text, big.Text);
    EXPECT_STREQ(big.Text, sub.Text);
}

struct DfCase {
    const char *name, *output;
    char found;
    double avail;
};

TEST_F(SysQueryTest, DiskSpaceOutputForms) {
    const DfCase cases[] = {
        {"gnu",
         "Filesystem     1K-blocks    Used Available Use% Mounted on\n"
         "/dev/sda1       41152736 9275436  29973584  24% /\n",
         1, 29973584},
        {"bsd",
         "Filesystem  512-blocks    Used   Avail Capacity  Mounted on\n"
         "/dev/ada0p2   97052784 7463560 81824000     8%    /\n",
         1, 81824000},
        {"first avail column", "avail Avail\n11 22\n", 1, 11},
        {"wrapped",
         "Filesystem     1K-blocks    Used Available Use% Mounted on\n"
         "/dev/mapper/very-long-volume-name\n",
         0, 0},
        {"no avail column", "Filesystem Size\n/dev/sda1 10\n", 0, 0},
        {"header only", "Filesystem     1K-blocks    Used Available Use% Mounted on\n", 0, 0},
        {"nothing", "", 0, 0},
    };
    unlink((bin + "/df").c_str());
    writeFile(bin + "/df", "#!/bin/sh\nprintf '%s' \"$DF_TEXT\"\n", 0755);
    for (const DfCase &c : cases) {
        SCOPED_TRACE(c.name);
        setenv("DF_TEXT", c.output, 1);
        DiskSpace ds;
        ds.Avail = 99;
        EXPECT_EQ(GetDiskSpace("/", &ds), c.found);
        EXPECT_EQ(ds.Avail, c.avail);
    }
    unsetenv("DF_TEXT");
}

TEST_F(SysQueryTest, DiskSpaceOfMissingPathIsZero) {
    DiskSpace ds;
    ds.Avail = 5;
    EXPECT_EQ(GetDiskSpace((tmp / "missing").c_str(), &ds), 0);
    EXPECT_EQ(ds.Avail, 0.0);
}

TEST_F(SysQueryTest, PathsAreQuotedForTheShell) {
    std::string odd = tmp / "a b;touch x";
    mkdir(odd.c_str(), 0755);
    DiskSpace ds;
    EXPECT_EQ(GetDiskSpace(odd.c_str(), &ds), 1);
    EXPECT_EQ(Record(), "df " + odd + "\n");
    EXPECT_FALSE(pathExists("x"));
}

TEST_F(SysQueryTest, DuPath) {
    setenv("FAKE_DU_SIZE", "4321", 1);
    EXPECT_EQ(DUPath(tmp.path.c_str()), 4321.0);
    EXPECT_EQ(DUPath((tmp / "missing").c_str()), 0.0);
    EXPECT_EQ(Record(), "du -s " + tmp.path + "\ndu -s " + tmp / "missing" + "\n");
}

TEST_F(SysQueryTest, AvailSpaceClimbsToAnExistingParent) {
    setenv("FAKE_DF_AVAIL", "1000", 1);
    std::string deep = tmp / "not/yet/made";
    EXPECT_EQ(AvailSpace(deep.c_str(), nullptr, 1000), 1);
    EXPECT_EQ(AvailSpace(deep.c_str(), nullptr, 1001), 0);
    EXPECT_EQ(Record(), "df " + deep + "\ndf " + tmp / "not/yet" + "\ndf " + tmp / "not" + "\ndf " +
                            tmp.path + "\n" + "df " + deep + "\ndf " + tmp / "not/yet" + "\ndf " +
                            tmp / "not" + "\ndf " + tmp.path + "\n");
}

TEST_F(SysQueryTest, AvailSpaceCountsWhatAnExistingEntryUses) {
    setenv("FAKE_DF_AVAIL", "1000", 1);
    setenv("FAKE_DU_SIZE", "500", 1);
    mkdir((tmp / "old").c_str(), 0755);
    EXPECT_EQ(AvailSpace(tmp.path.c_str(), "old", 1500), 1);
    EXPECT_EQ(AvailSpace(tmp.path.c_str(), "old", 1501), 0);
    EXPECT_EQ(AvailSpace(tmp.path.c_str(), "new", 1001), 0);
}

TEST_F(SysQueryTest, AvailSpaceStopsAtTheRoot) {
    unlink((bin + "/df").c_str());
    writeFile(bin + "/df", "#!/bin/sh\nexit 1\n", 0755);
    EXPECT_EQ(AvailSpace("/a/b", nullptr, 1), 0);
    EXPECT_EQ(AvailSpace("rel/dir", nullptr, 1), 0);
}

TEST_F(SysQueryTest, UserName) {
    setenv("FAKE_WHOAMI", "alice", 1);
    char *user = GetUserName();
    EXPECT_STREQ(user, "alice");
    PutMem(user);
    setenv("FAKE_WHOAMI_FAIL", "1", 1);
    EXPECT_EQ(GetUserName(), nullptr);
    ComList[ROW_WHOAMI].directory = nullptr;
    user = GetUserName();
    std::string expected = getuid() == 0 ? "root" : "User ID:  " + std::to_string(getuid());
    EXPECT_EQ(std::string(user), expected);
    PutMem(user);
}

TEST_F(SysQueryTest, HostName) {
    char buf[256] = "";
    gethostname(buf, sizeof buf - 1);
    char *host = GetHostname();
    EXPECT_STREQ(host, buf);
    PutMem(host);
}

TEST_F(SysQueryTest, SniffLprng) {
    setenv("FAKE_LPD", "lprng", 1);
    EXPECT_EQ(SniffLprng(), 1);
    setenv("FAKE_LPD", "bsd", 1);
    EXPECT_EQ(SniffLprng(), 0);
    EXPECT_EQ(Record(), "lpd -V\nlpd -V\n");
    unlink(record.c_str());
    ComList[ROW_LPD].directory = nullptr;
    EXPECT_EQ(SniffLprng(), 0);
    EXPECT_FALSE(pathExists(record));
}

TEST_F(SysQueryTest, MissingDfOrDuEndsTheRun) {
    struct {
        int row;
        const char *name;
        std::function<void()> query;
    } cases[] = {
        {ROW_DF, "df",
         [] {
             DiskSpace ds;
             GetDiskSpace("/", &ds);
         }},
        {ROW_DU, "du", [] { DUPath("/"); }},
        {ROW_PS, "ps", [] { KillProcessByName("zzz"); }},
        {ROW_PS, "ps", [] { SniffCUPS(); }},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        char *saved = ComList[c.row].directory;
        ComList[c.row].directory = nullptr;
        Forked r = sandboxFork(c.query);
        ComList[c.row].directory = saved;
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, std::string("ERROR: unable to locate system command '") + c.name + "'\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(SysQueryTest, WrappedDfLineGivesNoFigure) {
    setenv("FAKE_DF_WRAP", "1", 1);
    setenv("FAKE_DF_FS", "/dev/mapper/a-very-long-volume-group-name-root", 1);
    DiskSpace ds;
    ds.Avail = 7;
    EXPECT_EQ(GetDiskSpace("/", &ds), 0);
    EXPECT_EQ(ds.Avail, 0.0);
    EXPECT_STREQ(ds.Text, "/dev/mapper/a-very-long-volume-group-name-root\n");
    unsetenv("FAKE_DF_WRAP");
    unsetenv("FAKE_DF_FS");
}

TEST_F(SysQueryTest, LprngBannerOnStandardErrorCounts) {
    unlink((bin + "/lpd").c_str());
    writeFile(bin + "/lpd", "#!/bin/sh\necho 'lpd: LPRng-3.8' >&2\n", 0755);
    EXPECT_EQ(SniffLprng(), 1);
}

TEST_F(SysQueryTest, UserNameIsCutAtCarriageReturn) {
    setenv("FAKE_WHOAMI", "bob\rx", 1);
    char *user = GetUserName();
    EXPECT_STREQ(user, "bob");
    PutMem(user);
    unsetenv("FAKE_WHOAMI");
}

} // namespace
