#include "tests/toolkit/syscmd/fakesys.h"

using namespace fakesys;

namespace {

struct RowCase {
    int row;
    const char *name, *flags;
    int wait;
};

TEST(ComListTest, RowsHoldNamesFlagsAndWaits) {
    // Every row: callers name commands by these numbers.
    const RowCase rows[] = {
        {0, "", "", 0},
        {1, "", "", 0},
        {2, "cancel", "", 2},
        {3, "cat", "", 0},
        {4, "chgrp", "", 0},
        {5, "chmod", "", 0},
        {6, "chown", "", 0},
        {7, "clear", "", 0},
        {8, "compress", "", 0},
        {9, "cp", "-p", 0},
        {10, "cp", "-pr", 0},
        {11, "cupsd", "", 0},
        {12, "id", "", 0},
        {13, "echo", "", 0},
        {14, "eject", "-f", 1},
        {15, "eject", "-q", 1},
        {16, "file", "", 0},
        {17, "ln", "", 0},
        {18, "lp", "", 0},
        {19, "lpc", "", 1},
        {20, "lpr", "", 0},
        {21, "lprm", "", 1},
        {22, "lpstat", "", 1},
        {23, "ls", "", 0},
        {24, "kill", "-KILL", 0},
        {25, "mv", "-f", 0},
        {26, "mkdir", "-p", 0},
        {27, "more", "", 0},
        {28, "ping", "", 0},
        {29, "rm", "-f", 0},
        {30, "rm", "-rf", 0},
        {31, "sh", "", 0},
        {32, "sleep", "", 0},
        {33, "tar", "cvfp", 0},
        {34, "tar", "xvfp", 0},
        {35, "touch", "", 0},
        {36, "uncompress", "", 0},
        {37, "whoami", "", 0},
        {38, "zcat", "", 0},
        {39, "uname", "", 0},
        {40, "sed", "", 0},
        {41, "du", "-s", 0},
        {42, "checkpc", "", 0},
        {43, "lpd", "", 0},
        {44, "pkgadd", "", 1},
        {45, "pkginfo", "", 0},
        {46, "pkgrm", "", 1},
        {47, "accept", "", 1},
        {48, "disable", "", 1},
        {49, "cupsdisable", "", 1},
        {50, "enable", "", 1},
        {51, "cupsenable", "", 1},
        {52, "lpadmin", "", 1},
        {53, "lpfilter", "", 1},
        {54, "lpsched", "", 1},
        {55, "lpshut", "", 1},
        {56, "lpsystem", "", 1},
        {57, "ps", "-ace", 0},
        {58, "bar", "", 0},
        {59, "df", "", 0},
        {60, "lpq", "-P", 0},
        {61, "ypcat", "", 0},
        {62, "reject", "", 1},
        {63, "pmadm", "", 1},
        {64, "sacadm", "", 1},
        {65, "volcheck", "", 0},
        {66, "capture", "", 0},
        {67, "lpset", "", 1},
        {68, "instnetpr", "", 1},
        {69, "piomkpq", "", 0},
        {70, "piomisc_ext", "", 0},
        {71, "piomisc_base", "", 0},
        {72, "lsallq", "", 0},
        {73, "mkque", "", 0},
        {74, "mkquedev", "", 0},
        {75, "rmque", "", 0},
        {76, "rmquedev", "", 0},
        {77, "piochdfq", "", 0},
        {78, "enq", "", 0},
        {79, "lsquedev", "", 0},
        {80, "lsque", "", 0},
        {81, "startsrc", "", 1},
        {82, "stopsrc", "", 0},
        {83, "lssrc", "", 0},
    };
    ASSERT_EQ(std::size(rows), 84u);
    for (size_t i = 0; i < std::size(rows); i++) {
        const RowCase &c = rows[i];
        SCOPED_TRACE(c.row);
        ASSERT_EQ(c.row, static_cast<int>(i));
        EXPECT_EQ(ComList[c.row].directory, nullptr);
        EXPECT_STREQ(ComList[c.row].name, c.name);
        EXPECT_STREQ(ComList[c.row].flags, c.flags);
        EXPECT_EQ(ComList[c.row].wait, c.wait);
    }
}

TEST(ComListTest, ShapeOfTheTable) {
    EXPECT_STREQ(ComList[0].name, "");
    EXPECT_STREQ(ComList[1].name, "");
    EXPECT_EQ(ComList[84].name, nullptr);
    EXPECT_EQ(ComList[84].flags, nullptr);
    int waits = 0;
    for (int row = 2; row <= 83; row++) {
        SCOPED_TRACE(row);
        ASSERT_NE(ComList[row].name, nullptr);
        EXPECT_NE(ComList[row].name[0], '\0');
        ASSERT_NE(ComList[row].flags, nullptr);
        EXPECT_NE(ComList[row].wait, -1);
        waits += ComList[row].wait > 0;
    }
    EXPECT_EQ(waits, 24);
}

class ComTableTest : public ::testing::Test {
  protected:
    ScratchDir tmp;
    std::string a = tmp / "a", b = tmp / "b", c = tmp / "c";
    char savedSearch[sizeof SearchPaths];
    char *savedFull = nullptr;
    std::string savedPath, savedShell;
    bool hadPath = false, hadShell = false;

    void SetUp() override {
        for (const std::string &d : {a, b, c})
            mkdir(d.c_str(), 0755);
        memcpy(savedSearch, SearchPaths, sizeof SearchPaths);
        savedFull = FullSearchPath;
        FullSearchPath = nullptr;
        if (const char *p = getenv("PATH")) hadPath = true, savedPath = p;
        if (const char *s = getenv("SHELL")) hadShell = true, savedShell = s;
        ClearComTable();
    }
    void TearDown() override {
        memcpy(SearchPaths, savedSearch, sizeof SearchPaths);
        FullSearchPath = savedFull;
        hadPath ? setenv("PATH", savedPath.c_str(), 1) : unsetenv("PATH");
        hadShell ? setenv("SHELL", savedShell.c_str(), 1) : unsetenv("SHELL");
        ClearComTable();
    }
    void Put(const std::string &dir, const char *cmd) { writeFile(dir + "/" + cmd, "", 0755); }
};

TEST_F(ComTableTest, FillCmdPathsGivesRowsTheDirectory) {
    Put(a, "whoami");
    Put(a, "cp");
    Put(b, "cp");
    EXPECT_EQ(FillCmdPaths(a.c_str()), 1);
    EXPECT_EQ(ComList[37].directory, a.c_str());
    EXPECT_EQ(ComList[9].directory, a.c_str());
    EXPECT_EQ(ComList[10].directory, a.c_str());
    EXPECT_EQ(ComList[57].directory, nullptr);
    EXPECT_EQ(FillCmdPaths(b.c_str()), 1);
    EXPECT_EQ(ComList[9].directory, a.c_str());
    EXPECT_EQ(FillCmdPaths((tmp / "missing").c_str()), 1);
}

TEST_F(ComTableTest, FillCmdPathsIsZeroOnceEveryRowHasADirectory) {
    for (int row = 2; row <= 83; row++)
        ComList[row].directory = const_cast<char *>("/x");
    ComList[83].directory = nullptr;
    Put(a, "lssrc");
    EXPECT_EQ(FillCmdPaths(a.c_str()), 0);
    EXPECT_EQ(ComList[83].directory, a.c_str());
}

TEST_F(ComTableTest, InitSysCmdListSearchesFixedListThenPath) {
    Put(a, "whoami");
    Put(b, "whoami");
    Put(b, "ps");
    Put(b, "sh");
    Put(c, "lpd");
    Put(c, "ps");
    snprintf(SearchPaths, sizeof SearchPaths, "%s:%s/none:%s", a.c_str(), tmp.path.c_str(),
             b.c_str());
    std::string search = SearchPaths;
    setenv("PATH", c.c_str(), 1);
    flInitSysCmd = 1;
    flUseLog = 0;
    InitSysCmdList();
    EXPECT_EQ(flInitSysCmd, 0);
    EXPECT_EQ(flSysCmdLog, 0);
    EXPECT_STREQ(FullSearchPath, (search + ":" + c).c_str());
    EXPECT_STREQ(ComList[37].directory, a.c_str());
    EXPECT_STREQ(ComList[57].directory, b.c_str());
    EXPECT_STREQ(ComList[43].directory, c.c_str());
    EXPECT_EQ(ComList[3].directory, nullptr);
    EXPECT_EQ(std::string(getenv("SHELL")), b + "/sh ");
    char *cmd = GetCmd(37);
    EXPECT_EQ(std::string(cmd), a + "/whoami ");
    PutMem(cmd);
    cmd = GetCmdNoFlags(57);
    EXPECT_EQ(std::string(cmd), b + "/ps");
    PutMem(cmd);
    EXPECT_EQ(GetCmd(3), nullptr);
    EXPECT_EQ(GetCmdNoFlags(84), nullptr);
}

TEST_F(ComTableTest, InitSysCmdListStopsAtTheDirectoryThatCompletesTheTable) {
    for (int row = 2; row <= 83; row++)
        Put(a, ComList[row].name);
    Put(b, "whoami");
    snprintf(SearchPaths, sizeof SearchPaths, "%s:%s:%s", a.c_str(), b.c_str(), c.c_str());
    setenv("PATH", c.c_str(), 1);
    flUseLog = 0;
    InitSysCmdList();
    for (int row = 2; row <= 83; row++)
        EXPECT_EQ(ComList[row].directory, SearchPaths) << row;
    // Only the directory that was searched is cut out of the list.
    EXPECT_EQ(SearchPaths[a.size()], '\0');
    EXPECT_EQ(std::string(SearchPaths + a.size() + 1), b + ":" + c);
}

TEST_F(ComTableTest, InitSysCmdListWithoutShLeavesShellAlone) {
    Put(a, "whoami");
    snprintf(SearchPaths, sizeof SearchPaths, "%s", a.c_str());
    setenv("PATH", b.c_str(), 1);
    setenv("SHELL", "/untouched", 1);
    flUseLog = 0;
    InitSysCmdList();
    EXPECT_STREQ(ComList[37].directory, a.c_str());
    EXPECT_EQ(ComList[SHELL_ROW].directory, nullptr);
    EXPECT_STREQ(getenv("SHELL"), "/untouched");
    EXPECT_EQ(GetCmd(SHELL_ROW), nullptr);
}

TEST_F(ComTableTest, InitSysCmdListLogsWhenLoggingIsOn) {
    Put(a, "sh");
    snprintf(SearchPaths, sizeof SearchPaths, "%s", a.c_str());
    unsetenv("PATH");
    std::string name = "setupcomtest_" + std::to_string(getpid());
    char *saved = my_name;
    my_name = const_cast<char *>(name.c_str());
    flUseLog = 1;
    InitSysCmdList();
    flUseLog = 0;
    my_name = saved;
    std::string log = "/tmp/" + name + ".log";
    EXPECT_EQ(readFile(log), "initializing system\n");
    unlink(log.c_str());
    EXPECT_EQ(flSysCmdLog, 1);
    EXPECT_EQ(std::string(FullSearchPath), a + ":");
}

TEST_F(ComTableTest, LazyLookupTakesTheFirstDirectoryOnTheFullPath) {
    Put(b, "whoami");
    Put(c, "whoami");
    FullSearchPath = SaveStr("%s:%s:%s", a.c_str(), b.c_str(), c.c_str());
    flInitSysCmd = 1;
    EXPECT_EQ(TestCmd(37), 1);
    EXPECT_STREQ(ComList[37].directory, b.c_str());
    EXPECT_EQ(TestCmd(57), 0);
    EXPECT_EQ(TestCmd(0), 0);
    EXPECT_EQ(TestCmd(1), 0);
    EXPECT_EQ(FillCmdPath(1), 0);
    PutMem(ComList[37].directory);
    PutMem(FullSearchPath);
}

TEST_F(ComTableTest, LazyLookupMakesTheFullPathOnFirstUse) {
    struct {
        const char *path; // null: PATH unset
        int row;
        const char *expect; // directory expected, or null
    } cases[] = {
        {nullptr, 57, nullptr},
        {"c", 57, "c"},
        {"c", 37, "a"},
    };
    Put(a, "whoami");
    Put(c, "whoami");
    Put(c, "ps");
    for (const auto &k : cases) {
        SCOPED_TRACE(std::string(k.path ? k.path : "(unset)") + " " + std::to_string(k.row));
        ClearComTable();
        PutMem(FullSearchPath);
        FullSearchPath = nullptr;
        snprintf(SearchPaths, sizeof SearchPaths, "%s", a.c_str());
        std::string path = k.path ? tmp / k.path : "";
        k.path ? setenv("PATH", path.c_str(), 1) : unsetenv("PATH");
        flInitSysCmd = 1;
        char *cmd = GetCmdNoFlags(k.row);
        EXPECT_EQ(std::string(FullSearchPath), a + ":" + path);
        if (k.expect) {
            std::string dir = tmp / k.expect;
            EXPECT_EQ(std::string(cmd ? cmd : "(null)"), dir + "/" + ComList[k.row].name);
            EXPECT_EQ(TestCmd(k.row), 1);
            PutMem(ComList[k.row].directory);
        } else {
            EXPECT_EQ(cmd, nullptr);
            EXPECT_EQ(TestCmd(k.row), 0);
        }
        PutMem(cmd);
    }
    PutMem(FullSearchPath);
    FullSearchPath = nullptr;
}

TEST_F(ComTableTest, NoLazyLookupAfterInit) {
    Put(a, "whoami");
    FullSearchPath = SaveStr("%s", a.c_str());
    flInitSysCmd = 0;
    EXPECT_EQ(TestCmd(37), 0);
    EXPECT_EQ(GetCmd(37), nullptr);
    PutMem(FullSearchPath);
}

} // namespace
