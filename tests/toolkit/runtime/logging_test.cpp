// Logging: when the log is written, truncated or appended, and the files planted at its
// path (links, fifos, other users' files) that must never be written through.
#include "tests/toolkit/syscmd/fakesys.h"

#include <cerrno>
#include <sys/stat.h>

using namespace fakesys;

namespace {

// A user id that is neither root nor ours.
const uid_t ForeignUid = 54321;

// Logging under a log name of the test's own, removed afterwards.
class LogTest : public ::testing::Test {
  protected:
    ScratchDir tmp;
    std::string name, path;
    char *savedName = nullptr;
    void SetUp() override {
        static int counter;
        name = "setuplogtest_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        path = "/tmp/" + name + ".log";
        savedName = my_name;
        my_name = const_cast<char *>(name.c_str());
        flUseLog = 1;
    }
    void TearDown() override {
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            rmdir(path.c_str());
        else
            unlink(path.c_str());
        my_name = savedName;
        flUseLog = 0;
    }
};

TEST_F(LogTest, NothingIsWrittenWhileLoggingIsOff) {
    flUseLog = 0;
    PutLogMsg("x\n");
    EXPECT_FALSE(pathExists(path));
    EXPECT_EQ(LogFileReady(), 0);
}

TEST_F(LogTest, FirstMessageTruncatesLaterOnesAppend) {
    writeFile(path, "old run\n", 0666);
    PutLogMsg("one %d\n", 1);
    PutLogMsg("two %s\n", "b");
    EXPECT_EQ(readFile(path), "one 1\ntwo b\n");
}

TEST_F(LogTest, MissingLogIsCreatedWithMode666) {
    mode_t old = umask(022);
    PutLogMsg("a\n");
    umask(old);
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST_F(LogTest, LogRemovedMidRunIsCreatedAgain) {
    PutLogMsg("a\n");
    unlink(path.c_str());
    PutLogMsg("b\n");
    EXPECT_EQ(readFile(path), "b\n");
}

// What an attacker may plant at the log path before the run.
enum class Plant { Symlink, DanglingSymlink, HardLink, Fifo, EmptyDir, ForeignFile };

class PlantedLogTest : public LogTest, public ::testing::WithParamInterface<Plant> {};

TEST_P(PlantedLogTest, FirstMessageReplacesItByARegularFile) {
    std::string target = tmp / "target";
    writeFile(target, "precious\n", 0644);
    switch (GetParam()) {
    case Plant::Symlink:
        symlink(target.c_str(), path.c_str());
        break;
    case Plant::DanglingSymlink:
        symlink((tmp / "nothing").c_str(), path.c_str());
        break;
    case Plant::HardLink:
        if (link(target.c_str(), path.c_str()) != 0) GTEST_SKIP() << "no hard link across /tmp";
        break;
    case Plant::Fifo:
        mkfifo(path.c_str(), 0666);
        break;
    case Plant::EmptyDir:
        mkdir(path.c_str(), 0777);
        break;
    case Plant::ForeignFile:
        // Its owner could swap it for a link between our check and a
        // command's ">>" redirection.
        writeFile(path, "planted\n", 0666);
        if (chown(path.c_str(), ForeignUid, ForeignUid) != 0) GTEST_SKIP() << "cannot chown";
        break;
    }
    PutLogMsg("msg\n");
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(readFile(path), "msg\n");
    EXPECT_EQ(readFile(target), "precious\n");
    EXPECT_FALSE(pathExists(tmp / "nothing"));
}

INSTANTIATE_TEST_SUITE_P(Attacks, PlantedLogTest,
                         ::testing::Values(Plant::Symlink, Plant::DanglingSymlink, Plant::HardLink,
                                           Plant::Fifo, Plant::EmptyDir, Plant::ForeignFile));

// A file of another user that turns up at the log path mid-run is neither
// written nor handed to commands.
TEST_F(LogTest, ForeignFileMidRunIsNotUsed) {
    PutLogMsg("first\n");
    unlink(path.c_str());
    writeFile(path, "planted\n", 0666);
    if (chown(path.c_str(), ForeignUid, ForeignUid) != 0) GTEST_SKIP() << "cannot chown";
    testing::internal::CaptureStderr();
    PutLogMsg("second\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't open " + path + "\n");
    EXPECT_EQ(LogFileReady(), 0);
    EXPECT_EQ(readFile(path), "planted\n");
}

TEST_F(LogTest, LinkPlantedMidRunDropsTheMessage) {
    PutLogMsg("first\n");
    std::string target = tmp / "target";
    writeFile(target, "precious\n", 0644);
    unlink(path.c_str());
    symlink(target.c_str(), path.c_str());
    testing::internal::CaptureStderr();
    PutLogMsg("second\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't open " + path + "\n");
    EXPECT_EQ(readFile(target), "precious\n");
    EXPECT_EQ(GetFileType(path.c_str()), 2);
    EXPECT_EQ(LogFileReady(), 0);
}

TEST_F(LogTest, FailedFirstMessageStillStartsTheRun) {
    // A directory that cannot be removed stands at the log path.
    mkdir(path.c_str(), 0777);
    std::string inside = path + "/keep";
    writeFile(inside, "");
    testing::internal::CaptureStderr();
    PutLogMsg("first\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't open " + path + "\n");
    unlink(inside.c_str());
    rmdir(path.c_str());
    writeFile(path, "earlier\n", 0666);
    PutLogMsg("second\n");
    EXPECT_EQ(readFile(path), "earlier\nsecond\n");
}

TEST_F(LogTest, LogFileReadyMakesTheLogSafeWithoutTruncating) {
    std::string target = tmp / "target";
    writeFile(target, "precious\n", 0644);
    symlink(target.c_str(), path.c_str());
    EXPECT_EQ(LogFileReady(), 1);
    EXPECT_EQ(GetFileType(path.c_str()), 3);
    writeFile(path, "cmd output\n", 0666);
    EXPECT_EQ(LogFileReady(), 1);
    EXPECT_EQ(readFile(path), "cmd output\n");
    EXPECT_EQ(readFile(target), "precious\n");
}

TEST_F(LogTest, UnopenableLogReportsAndGoesOn) {
    std::string longName(5000, 'n');
    my_name = const_cast<char *>(longName.c_str());
    testing::internal::CaptureStderr();
    PutLogMsg("x\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: couldn't open /tmp/" + longName + ".log\n");
}

TEST(ErrorMsgTest, KindsWarnExitOrStayQuiet) {
    testing::internal::CaptureStderr();
    ErrorMsg(1, 0, "x=%d", 5);
    ErrorMsg(0, 0, "kept %s", "here");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: x=5\n");
    EXPECT_STREQ(Line, "kept here");
    Forked r = sandboxFork([] { ErrorMsg(2, 1, "bad %s", "thing"); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: bad thing\n");
    r = sandboxFork([] { ErrorMsg(2, 0, "stop"); });
    EXPECT_EQ(r.status, 0);
}

TEST(ErrorMsgTest, OverLongMessageIsCutToLine) {
    std::string big(LINE_SIZE + 100, 'z');
    ErrorMsg(0, 0, "%s", big.c_str());
    EXPECT_EQ(strlen(Line), (size_t)LINE_SIZE - 1);
}

TEST(SysErrorTest, PrintsNameMessageReasonAndExits1) {
    char name[] = "prog";
    Forked r = sandboxFork([&] {
        my_name = name;
        errno = ENOMEM;
        SysError("Unable to allocate memory");
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("\nprog: Unable to allocate memory : ") + strerror(ENOMEM) + "\n");
}

TEST(ErrormsgTest, PrefixesTheProgramName) {
    char name[] = "prog";
    char *saved = my_name;
    my_name = name;
    testing::internal::CaptureStderr();
    errormsg("n=%d", 3);
    my_name = saved;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "prog: n=3\n");
}

TEST(CreateTextFileTest, WritesAndSetsPermissions) {
    ScratchDir tmp;
    std::string f = tmp / "script";
    EXPECT_EQ(CreateTextFile(f.c_str(), "wt", 0644, "#!/bin/sh\n%s\n", "echo hi"), 1);
    EXPECT_EQ(readFile(f), "#!/bin/sh\necho hi\n");
    struct stat st;
    stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    std::string bad = tmp / "no/such/file";
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTextFile(bad.c_str(), "wt", 0644, "x"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't open " + bad + "\n");
}

TEST(GetEnvTest, CopiesOrNull) {
    unsetenv("SETUP_TEST_UNSET");
    EXPECT_EQ(GetEnv("SETUP_TEST_UNSET"), nullptr);
    setenv("SETUP_TEST_SET", "value", 1);
    char *v = GetEnv("SETUP_TEST_SET");
    unsetenv("SETUP_TEST_SET");
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v, "value");
    PutMem(v);
}

} // namespace
