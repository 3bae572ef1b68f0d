// The command table: its rows, and the search of commands in fixed directories and PATH.
#include "tests/toolkit/syscmd/fakesys.h"

using namespace fakesys;

namespace {

struct RowCase {
    int row, named;
    const char *name, *flags;
    int wait;
};

TEST(ComListTest, RowsHoldNamesFlagsAndWaits) {
    // Every row: callers name commands by these numbers and names.
    const RowCase rows[] = {
        {0, ROW_LINE_QUIET, "", "", 0},
        {1, ROW_LINE, "", "", 0},
        {2, ROW_CANCEL, "cancel", "", 2},
        {3, ROW_CAT, "cat", "", 0},
        {4, ROW_CHGRP, "chgrp", "", 0},
        {5, ROW_CHMOD, "chmod", "", 0},
        {6, ROW_CHOWN, "chown", "", 0},
        {7, ROW_CLEAR, "clear", "", 0},
        {8, ROW_COMPRESS, "compress", "", 0},
        {9, ROW_CP_P, "cp", "-p", 0},
        {10, ROW_CP_PR, "cp", "-pr", 0},
        {11, ROW_CUPSD, "cupsd", "", 0},
        {12, ROW_ID, "id", "", 0},
        {13, ROW_ECHO, "echo", "", 0},
        {14, ROW_EJECT_F, "eject", "-f", 1},
        {15, ROW_EJECT_Q, "eject", "-q", 1},
        {16, ROW_FILE, "file", "", 0},
        {17, ROW_LN, "ln", "", 0},
        {18, ROW_LP, "lp", "", 0},
        {19, ROW_LPC, "lpc", "", 1},
        {20, ROW_LPR, "lpr", "", 0},
        {21, ROW_LPRM, "lprm", "", 1},
        {22, ROW_LPSTAT, "lpstat", "", 1},
        {23, ROW_LS, "ls", "", 0},
        {24, ROW_KILL, "kill", "-KILL", 0},
        {25, ROW_MV, "mv", "-f", 0},
        {26, ROW_MKDIR, "mkdir", "-p", 0},
        {27, ROW_MORE, "more", "", 0},
        {28, ROW_PING, "ping", "", 0},
        {29, ROW_RM_F, "rm", "-f", 0},
        {30, ROW_RM_RF, "rm", "-rf", 0},
        {31, ROW_SH, "sh", "", 0},
        {32, ROW_SLEEP, "sleep", "", 0},
        {33, ROW_TAR_CVFP, "tar", "cvfp", 0},
        {34, ROW_TAR_XVFP, "tar", "xvfp", 0},
        {35, ROW_TOUCH, "touch", "", 0},
        {36, ROW_UNCOMPRESS, "uncompress", "", 0},
        {37, ROW_WHOAMI, "whoami", "", 0},
        {38, ROW_ZCAT, "zcat", "", 0},
        {39, ROW_UNAME, "uname", "", 0},
        {40, ROW_SED, "sed", "", 0},
        {41, ROW_DU, "du", "-s", 0},
        {42, ROW_CHECKPC, "checkpc", "", 0},
        {43, ROW_LPD, "lpd", "", 0},
        {44, ROW_PKGADD, "pkgadd", "", 1},
        {45, ROW_PKGINFO, "pkginfo", "", 0},
        {46, ROW_PKGRM, "pkgrm", "", 1},
        {47, ROW_ACCEPT, "accept", "", 1},
        {48, ROW_DISABLE, "disable", "", 1},
        {49, ROW_CUPSDISABLE, "cupsdisable", "", 1},
        {50, ROW_ENABLE, "enable", "", 1},
        {51, ROW_CUPSENABLE, "cupsenable", "", 1},
        {52, ROW_LPADMIN, "lpadmin", "", 1},
        {53, ROW_LPFILTER, "lpfilter", "", 1},
        {54, ROW_LPSCHED, "lpsched", "", 1},
        {55, ROW_LPSHUT, "lpshut", "", 1},
        {56, ROW_LPSYSTEM, "lpsystem", "", 1},
        {57, ROW_PS, "ps", "-ace", 0},
        {58, ROW_BAR, "bar", "", 0},
        {59, ROW_DF, "df", "", 0},
        {60, ROW_LPQ, "lpq", "-P", 0},
        {61, ROW_YPCAT, "ypcat", "", 0},
        {62, ROW_REJECT, "reject", "", 1},
        {63, ROW_PMADM, "pmadm", "", 1},
        {64, ROW_SACADM, "sacadm", "", 1},
        {65, ROW_VOLCHECK, "volcheck", "", 0},
        {66, ROW_CAPTURE, "capture", "", 0},
        {67, ROW_LPSET, "lpset", "", 1},
        {68, ROW_INSTNETPR, "instnetpr", "", 1},
        {69, ROW_PIOMKPQ, "piomkpq", "", 0},
        {70, ROW_PIOMISC_EXT, "piomisc_ext", "", 0},
        {71, ROW_PIOMISC_BASE, "piomisc_base", "", 0},
        {72, ROW_LSALLQ, "lsallq", "", 0},
        {73, ROW_MKQUE, "mkque", "", 0},
        {74, ROW_MKQUEDEV, "mkquedev", "", 0},
        {75, ROW_RMQUE, "rmque", "", 0},
        {76, ROW_RMQUEDEV, "rmquedev", "", 0},
        {77, ROW_PIOCHDFQ, "piochdfq", "", 0},
        {78, ROW_ENQ, "enq", "", 0},
        {79, ROW_LSQUEDEV, "lsquedev", "", 0},
        {80, ROW_LSQUE, "lsque", "", 0},
        {81, ROW_STARTSRC, "startsrc", "", 1},
        {82, ROW_STOPSRC, "stopsrc", "", 0},
        {83, ROW_LSSRC, "lssrc", "", 0},
    };
    ASSERT_EQ(std::size(rows), 84u);
    for (size_t i = 0; i < std::size(rows); i++) {
        const RowCase &c = rows[i];
        SCOPED_TRACE(c.row);
        ASSERT_EQ(c.row, static_cast<int>(i));
        EXPECT_EQ(c.named, c.row);
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
    char *cmd = GetCmd(ROW_WHOAMI);
    EXPECT_EQ(std::string(cmd), a + "/whoami ");
    PutMem(cmd);
    cmd = GetCmdNoFlags(ROW_PS);
    EXPECT_EQ(std::string(cmd), b + "/ps");
    PutMem(cmd);
    EXPECT_EQ(GetCmd(ROW_CAT), nullptr);
    EXPECT_EQ(GetCmdNoFlags(ROW_END), nullptr);
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
    EXPECT_EQ(TestCmd(ROW_WHOAMI), 1);
    EXPECT_STREQ(ComList[37].directory, b.c_str());
    EXPECT_EQ(TestCmd(ROW_PS), 0);
    EXPECT_EQ(TestCmd(ROW_LINE_QUIET), 0);
    EXPECT_EQ(TestCmd(ROW_LINE), 0);
    EXPECT_EQ(FillCmdPath(ROW_LINE), 0);
    PutMem(ComList[37].directory);
    PutMem(FullSearchPath);
}

TEST_F(ComTableTest, LazyLookupMakesTheFullPathOnFirstUse) {
    struct {
        const char *path; // null: PATH unset
        int row;
        const char *expect; // directory expected, or null
    } cases[] = {
        {nullptr, ROW_PS, nullptr},
        {"c", ROW_PS, "c"},
        {"c", ROW_WHOAMI, "a"},
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
    EXPECT_EQ(TestCmd(ROW_WHOAMI), 0);
    EXPECT_EQ(GetCmd(ROW_WHOAMI), nullptr);
    PutMem(FullSearchPath);
}

} // namespace
