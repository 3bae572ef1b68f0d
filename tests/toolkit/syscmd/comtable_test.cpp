#include "tests/toolkit/syscmd/fakesys.h"

using namespace fakesys;

namespace {

struct RowCase {
    int row;
    const char *name, *flags;
    int wait;
};

TEST(ComListTest, RowsHoldNamesFlagsAndWaits) {
    const RowCase rows[] = {
        {2, "cancel", "", 2},   {3, "cat", "", 0},        {9, "cp", "-p", 0},
        {10, "cp", "-pr", 0},   {14, "eject", "-f", 1},   {15, "eject", "-q", 1},
        {19, "lpc", "", 1},     {24, "kill", "-KILL", 0}, {25, "mv", "-f", 0},
        {26, "mkdir", "-p", 0}, {29, "rm", "-f", 0},      {30, "rm", "-rf", 0},
        {31, "sh", "", 0},      {33, "tar", "cvfp", 0},   {34, "tar", "xvfp", 0},
        {35, "touch", "", 0},   {37, "whoami", "", 0},    {41, "du", "-s", 0},
        {43, "lpd", "", 0},     {57, "ps", "-ace", 0},    {59, "df", "", 0},
        {60, "lpq", "-P", 0},   {68, "instnetpr", "", 1}, {81, "startsrc", "", 1},
        {82, "stopsrc", "", 0}, {83, "lssrc", "", 0},
    };
    for (const RowCase &c : rows) {
        SCOPED_TRACE(c.row);
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
    TempDir tmp;
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
    void Put(const std::string &dir, const char *cmd) { WriteFile(dir + "/" + cmd, "", 0755); }
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
    EXPECT_EQ(ReadFile(log), "initializing system\n");
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

TEST_F(ComTableTest, NoLazyLookupAfterInit) {
    Put(a, "whoami");
    FullSearchPath = SaveStr("%s", a.c_str());
    flInitSysCmd = 0;
    EXPECT_EQ(TestCmd(37), 0);
    EXPECT_EQ(GetCmd(37), nullptr);
    PutMem(FullSearchPath);
}

} // namespace
