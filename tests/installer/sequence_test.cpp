// Steps of the install sequence. The disk list and the archive join work on
// scratch directories; the steps that write /usr, /var or ask the print
// subsystem run inside the sandbox (the *Inside tests are the inner halves).
#include "installer/installer.h"
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace {

// Sets the install state for one test and puts it back afterwards.
struct StateGuard {
    char *saved[6];
    char cwd[4096] = {};
    StateGuard(const char *work, const char *target, const char *app) {
        saved[0] = pZarvoInstallDir;
        saved[1] = pTargetInstallDir;
        saved[2] = pAppDir;
        saved[3] = pPathToSetup;
        saved[4] = pCurrentInstallDir;
        saved[5] = my_name;
        pZarvoInstallDir = strdup(work);
        pTargetInstallDir = strdup(target);
        pAppDir = strdup(app);
        pPathToSetup = nullptr;
        pCurrentInstallDir = nullptr;
        my_name = strdup("setup");
        if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    }
    ~StateGuard() {
        free(pZarvoInstallDir);
        free(pTargetInstallDir);
        free(pAppDir);
        free(my_name);
        pZarvoInstallDir = saved[0];
        pTargetInstallDir = saved[1];
        pAppDir = saved[2];
        pPathToSetup = saved[3];
        pCurrentInstallDir = saved[4];
        my_name = saved[5];
        if (cwd[0] && chdir(cwd) != 0) perror(cwd);
    }
};

TEST(GetDisksData, ReadsTheLowerCaseListAsItIs) {
    ScratchDir d;
    writeFile(d / "disks", "pkg_tar.1 pkg_tar.2\ndisks isize\nend_of_list\n");
    writeFile(d / "DISKS", "other\n");
    EXPECT_EQ(GetDisksData(d.path.c_str()), 1);
    EXPECT_STREQ(LineBuf, "pkg_tar.1 pkg_tar.2\ndisks isize\nend_of_list\n");
}

TEST(GetDisksData, UpperCaseMediumIsConvertedUpToEndOfList) {
    ScratchDir d;
    writeFile(d / "DISKS", "pkg_tar.1 disks\nend_of_list\nrest stays\n");
    EXPECT_EQ(GetDisksData(d.path.c_str()), 1);
    EXPECT_STREQ(LineBuf, "PKG_TAR.1 DISKS\nend_of_list\nrest stays\n");
}

TEST(GetDisksData, MissingListEndsTheRunWithStatusOne) {
    ScratchDir d;
    EXPECT_EXIT(GetDisksData(d.path.c_str()), testing::ExitedWithCode(1),
                "ERROR: can't open file, ZarvoInstall/disks\n");
}

TEST(GenZFile, JoinsListedPiecesInListOrder) {
    ScratchDir d;
    StateGuard state(d.path.c_str(), "/usr", "/usr/Zarvo/osxx");
    writeFile(d / "disks", "pkg_tar.2 pkg_tar.1\tignored pkg_tar.7\n"
                           "disks notes PKG_TAR.3 pkg_tar.1\nend_of_list pkg_tar.4\n");
    writeFile(d / "pkg_tar.1", "one|");
    writeFile(d / "pkg_tar.2", "two|");
    writeFile(d / "PKG_TAR.3", "three|");
    writeFile(d / "pkg_tar.4", "four|"); // after end_of_list
    writeFile(d / "notes", "not a piece|");
    genZFile();
    // pkg_tar.7 is listed but missing; "pkg_tar.1<TAB>ignored" is one word.
    EXPECT_EQ(readFile(d / "ZarvoLinuxi386Osxx.tar.Z"), "two|three|one|");
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    EXPECT_EQ(std::string(here), d.path);
}

TEST(GenZFile, WorkAreaWithoutDiskListEndsTheRun) {
    ScratchDir d;
    StateGuard state(d.path.c_str(), "/usr", "/usr/Zarvo/osxx");
    EXPECT_EXIT(genZFile(), testing::ExitedWithCode(1), "can't open file, ZarvoInstall/disks");
}

TEST(InstallFromSite, WorkAreaThatCannotBeADirectoryStopsTheRun) {
    ScratchDir d;
    writeFile(d / "file", "x");
    std::string work = d / "file/ZarvoInstall";
    StateGuard state(work.c_str(), "/usr", "/usr/Zarvo/osxx");
    EXPECT_EXIT(installFromSite(work.c_str()), testing::ExitedWithCode(1),
                "ERROR: the work area .*file/ZarvoInstall is not a directory of its own");
}

// Inner halves: run only inside the sandbox, steered by the outer test.
SANDBOX_INSIDE_TEST(SequenceInside, PrintSubsystemFlag) {
    StateGuard state("/tmp/w", "/usr", "/tmp/app");
    makeDirs("/tmp/app");
    EXPECT_EQ(createPrintingSubsystemFile("/tmp/app"), 1);
}

SANDBOX_INSIDE_TEST(SequenceInside, InstallationDirectories) {
    const char *target = getenv("TARGET");
    ASSERT_NE(target, nullptr);
    std::string app = std::string(target) + "/Zarvo/osxx";
    StateGuard state("/tmp/w", target, app.c_str());
    createInstallationDirectories(target);
}

SANDBOX_INSIDE_TEST(SequenceInside, QueueScripts) {
    StateGuard state("/tmp/w", "/opt", "/opt/Zarvo/osxx");
    makeDirs("/opt/Zarvo/osxx");
    createQueueScripts("/var/spool/Zarvo");
    createQueueScripts("/var/spool/Zarvo");
}

TEST(Sequence, PrintSubsystemFlagNamesBsdLprngOrCups) {
    NEED_SANDBOX();
    struct Case {
        const char *lpd, *ps, *want;
    } cases[] = {{nullptr, nullptr, " BSD "},
                 {"lpd (LPRng) 3.8.35\n", nullptr, " LPRng "},
                 {nullptr, "120 cupsd\n", " CUPS "},
                 {"lpd (LPRng) 3.8.35\n", "120 cupsd\n133 lpd\n", " CUPS "},
                 {"lpd (BSD) 1.0\n", "7 cupsdx\n", " BSD "}};
    for (const Case &c : cases) {
        Sandbox sb;
        if (c.lpd) sandboxFake(sb, "lpd", c.lpd);
        if (c.ps) sandboxFake(sb, "ps", c.ps);
        ASSERT_TRUE(sandboxRunSelf(sb, "SequenceInside.PrintSubsystemFlag"));
        EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
        EXPECT_EQ(sandboxRead(sb, "/tmp/app/.os_cfg"), c.want);
        EXPECT_EQ(sandboxMode(sb, "/tmp/app/.os_cfg"), 0644);
    }
}

TEST(Sequence, InstallationDirectoriesUnderUsrAndElsewhere) {
    NEED_SANDBOX();
    {
        Sandbox sb;
        sb.env = {"TARGET=/usr"};
        ASSERT_TRUE(sandboxRunSelf(sb, "SequenceInside.InstallationDirectories"));
        EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
        EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx"), 'd');
        EXPECT_EQ(sandboxMode(sb, "/usr/Zarvo/osxx"), 0755);
    }
    {
        Sandbox sb;
        sb.env = {"TARGET=/opt"};
        ASSERT_TRUE(sandboxRunSelf(sb, "SequenceInside.InstallationDirectories"));
        EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
        EXPECT_EQ(sandboxMode(sb, "/opt/Zarvo/osxx"), 0775);
        EXPECT_EQ(sandboxMode(sb, "/usr/Zarvo"), 0775);
        EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx"), 'l');
        EXPECT_EQ(sandboxReadLink(sb, "/usr/Zarvo/osxx"), "/opt/Zarvo/osxx");
    }
    {
        Sandbox sb; // an existing /usr/Zarvo keeps its mode
        sandboxMkdir(sb, "/usr/Zarvo", 0700);
        sb.env = {"TARGET=/opt"};
        ASSERT_TRUE(sandboxRunSelf(sb, "SequenceInside.InstallationDirectories"));
        EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
        EXPECT_EQ(sandboxMode(sb, "/usr/Zarvo"), 0700);
        EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx"), 'l');
    }
}

TEST(Sequence, QueueScriptsAreLinkedForLprngOnceOnly) {
    NEED_SANDBOX();
    {
        Sandbox sb;
        sandboxFake(sb, "lpd", "lpd (LPRng) 3.8.35\n");
        sandboxMkdir(sb, "/usr/share/printconf/util");
        ASSERT_TRUE(sandboxRunSelf(sb, "SequenceInside.QueueScripts"));
        EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
        for (const char *s : {"ZarvoPrintosxx", "v4DriverScript", "ZarvoQSF"})
            EXPECT_EQ(sandboxMode(sb, std::string("/opt/Zarvo/osxx/") + s), 0755) << s;
        EXPECT_EQ(sandboxReadLink(sb, "/usr/share/printconf/util/ZarvoPrintosxx"),
                  "/opt/Zarvo/osxx/ZarvoPrintosxx");
        std::string qsf = sandboxRead(sb, "/opt/Zarvo/osxx/ZarvoQSF");
        EXPECT_NE(qsf.find("SpoolDir=\"/var/spool/Zarvo/osxx\"\n"), std::string::npos);
    }
    {
        Sandbox sb; // an entry already there is left alone
        sandboxFake(sb, "lpd", "lpd (LPRng) 3.8.35\n");
        sandboxWrite(sb, "/usr/share/printconf/util/ZarvoPrintosxx", "local");
        ASSERT_TRUE(sandboxRunSelf(sb, "SequenceInside.QueueScripts"));
        EXPECT_EQ(sandboxRead(sb, "/usr/share/printconf/util/ZarvoPrintosxx"), "local");
    }
    {
        Sandbox sb; // not LPRng: no link even with the directory present
        sandboxMkdir(sb, "/usr/share/printconf/util");
        ASSERT_TRUE(sandboxRunSelf(sb, "SequenceInside.QueueScripts"));
        EXPECT_EQ(sandboxType(sb, "/usr/share/printconf/util/ZarvoPrintosxx"), 0);
    }
}

} // namespace
