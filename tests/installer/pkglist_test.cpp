// The package-list language on scratch directories: every command, every
// attribute, the version conditions and the failure modes (copies warn,
// attributes end the run).
#include "installer/installer.h"
#include "toolkit/syscmd/comtable.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

class PkgListTest : public ::testing::Test {
  protected:
    ScratchDir dir;
    std::string work = dir / "work";
    std::string pkg = dir / "work/pkg";
    std::string app = dir / "app";
    std::string name = "pkgtest" + std::to_string(getpid());
    char *saved[3] = {};

    void SetUp() override {
        makeDirs(pkg);
        makeDirs(app);
        writeFile(pkg + "/prog", "program\n", 0755);
        writeFile(pkg + "/foo", "foo x\n");
        writeFile(pkg + "/fonts/a.pfb", "font\n");
        saved[0] = pZarvoInstallDir;
        saved[1] = pAppDir;
        saved[2] = my_name;
        pZarvoInstallDir = strdup(work.c_str());
        pAppDir = strdup(app.c_str());
        my_name = strdup(name.c_str());
    }
    void TearDown() override {
        free(pZarvoInstallDir);
        free(pAppDir);
        free(my_name);
        pZarvoInstallDir = saved[0];
        pAppDir = saved[1];
        my_name = saved[2];
    }
    int list(const std::string &text) {
        writeFile(pkg + "/pkg.list", text);
        return ProcessPkgList("pkg");
    }
    std::string a(const std::string &rel) { return app + "/" + rel; }
    // Temporary files of this test's program name left in /tmp.
    int leftovers() {
        int n = 0;
        DIR *d = opendir("/tmp");
        for (dirent *e; d && (e = readdir(d));)
            n += strncmp(e->d_name, name.c_str(), name.size()) == 0;
        if (d) closedir(d);
        return n;
    }
};

std::string me() {
    passwd *p = getpwuid(getuid());
    return p ? p->pw_name : std::to_string(getuid());
}

std::string myGroup() {
    group *g = getgrgid(getgid());
    return g ? g->gr_name : std::to_string(getgid());
}

TEST_F(PkgListTest, CopyWithModeOwnerAndGroup) {
    EXPECT_EQ(list("c prog mode 700 owner " + me() + " group " + myGroup() + "\n"), 0);
    EXPECT_EQ(readFile(a("prog")), "program\n");
    EXPECT_EQ(fileMode(a("prog")), 0700);
}

TEST_F(PkgListTest, TreesFilesAndEmptyFiles) {
    makeDirs(a("fonts"));
    std::string dest = dir / "dest";
    EXPECT_EQ(list("dir fonts\n"
                   "dirto fonts " +
                   dest +
                   " mode 750\n"
                   "t empty mode 600\n"),
              0);
    EXPECT_EQ(readFile(a("fonts/a.pfb")), "font\n"); // cp -pr merges into an existing dir
    EXPECT_EQ(readFile(dest + "/a.pfb"), "font\n");
    EXPECT_EQ(fileMode(a("fonts")), 0750); // dirto's attributes apply to APP/NAME
    EXPECT_TRUE(pathExists(a("empty")));
    EXPECT_EQ(readFile(a("empty")), "");
    EXPECT_EQ(fileMode(a("empty")), 0600);
}

TEST_F(PkgListTest, MarkersApplyAttributesOnlyToExistingFiles) {
    writeFile(a("README"), "OLD text OLD\nkeep\n", 0640);
    EXPECT_EQ(list("m README sed -e s/OLD/NEW/g -e s/keep/kept/\n"
                   "m missing mode 700\n"
                   "s README mode 604\n"),
              0);
    EXPECT_EQ(readFile(a("README")), "NEW text NEW\nkept\n");
    EXPECT_EQ(fileMode(a("README")), 0604);
    EXPECT_FALSE(pathExists(a("missing")));
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(PkgListTest, SedKeepsTheFileModeAndLaterSedTakesOneWord) {
    EXPECT_EQ(list("c prog mode 750 sed s/program/edited/\n"), 0);
    EXPECT_EQ(readFile(a("prog")), "edited\n");
    EXPECT_EQ(fileMode(a("prog")), 0750);
    writeFile(a("notes"), "a b\n", 0755);
    EXPECT_EQ(list("m notes sed 's/a/x/;s/b/y/'\n"), 0);
    EXPECT_EQ(readFile(a("notes")), "x y\n");
    EXPECT_EQ(fileMode(a("notes")), 0755);
}

TEST_F(PkgListTest, CommentsUnknownWordsAndLinesWithoutName) {
    EXPECT_EQ(list("# c foo\n"
                   "\n"
                   "c\n"
                   "#c foo\n"
                   "install prog\n"
                   "c missing-file\n"
                   "t,c foo2\n"),
              0);
    EXPECT_EQ(readFile(a("foo")), "foo x\n"); // "#c" is an unlisted command word
    EXPECT_EQ(readFile(a("prog")), "program\n");
    EXPECT_FALSE(pathExists(a("missing-file"))); // a failed copy only warns
    EXPECT_FALSE(pathExists(a("foo2")));         // "t,c" is not t: a copy of a missing file
}

TEST_F(PkgListTest, NewDirIsMadeOnceWithItsAttributes) {
    EXPECT_EQ(list("newdir logs mode 777\n"), 0);
    EXPECT_EQ(fileMode(a("logs")), 0777);
    EXPECT_EQ(list("newdir logs mode 700\nnewdir var/cache\n"), 0);
    EXPECT_EQ(fileMode(a("logs")), 0777);
    EXPECT_EQ(fileMode(a("var/cache")), 0775);
}

TEST_F(PkgListTest, LinkAndRename) {
    std::string alias = dir / "alias";
    EXPECT_EQ(list("c prog link " + alias + "\nc foo name foo.renamed\n"), 0);
    char target[512] = {};
    ASSERT_GT(readlink(alias.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), a("prog"));
    EXPECT_TRUE(pathExists(a("foo.renamed")));
    EXPECT_FALSE(pathExists(a("foo")));
}

TEST_F(PkgListTest, AttributeListParsing) {
    EXPECT_EQ(list("c prog color red mode 711\n" // unlisted key skipped with its value
                   "c foo mode\n"),              // key without value ends the line
              0);
    EXPECT_EQ(fileMode(a("prog")), 0711);
    EXPECT_EQ(fileMode(a("foo")), 0644);
}

TEST_F(PkgListTest, ContinuationStaysInTheWords) {
    // The joined line keeps its backslash-newline, an escaped newline that
    // sticks to the next word: "<newline>mode" is an unlisted key taking "701"
    // (or "640") along, so no mode is set.
    EXPECT_EQ(list("c prog \\\nmode 701\nc foo \\\nmode 640 owner\n"), 0);
    EXPECT_EQ(readFile(a("prog")), "program\n");
    EXPECT_EQ(fileMode(a("prog")), 0755);
    EXPECT_EQ(fileMode(a("foo")), 0644);
}

TEST_F(PkgListTest, VersionConditionsCompareTheReleaseAsText) {
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    std::string rel = u.release;
    writeFile(pkg + "/f1", "1");
    writeFile(pkg + "/f2", "2");
    writeFile(pkg + "/f3", "3");
    writeFile(pkg + "/f4", "4");
    writeFile(pkg + "/f5", "5");
    writeFile(pkg + "/f6", "6");
    writeFile(pkg + "/f7", "7");
    writeFile(pkg + "/f8", "8");
    EXPECT_EQ(list("v < ~ c f1 mode 600\n" // below "~": holds
                   "v = " +
                   rel +
                   " c f2\n"      // equal
                   "v > 0 c f3\n" // above "0"
                   "v < 0 c f4\n" // does not hold
                   "v >= " +
                   rel + " v <= " + rel +
                   " c f5\n" // chained
                   "v != " +
                   rel +
                   " c f6\n" // unknown operator
                   "v = " +
                   rel +
                   "\n" // nothing follows
                   "v > ~ c f7\n"
                   "v <= 0 c f8\n"),
              0);
    EXPECT_EQ(fileMode(a("f1")), 0600);
    for (const char *f : {"f2", "f3", "f5"})
        EXPECT_TRUE(pathExists(a(f))) << f;
    for (const char *f : {"f4", "f6", "f7", "f8"})
        EXPECT_FALSE(pathExists(a(f))) << f;
}

TEST_F(PkgListTest, CheckpsGoesOnWhenNothingRuns) {
    EXPECT_EQ(list("checkps ,zzq-never-running,\nc foo\n"), 0);
    EXPECT_TRUE(pathExists(a("foo")));
}

TEST_F(PkgListTest, MissingListEndsTheRunWithStatusZero) {
    std::string path = pkg + "/pkg.list";
    EXPECT_EXIT(ProcessPkgList("pkg"), testing::ExitedWithCode(0),
                "ERROR: can't open file, " + path);
}

TEST_F(PkgListTest, FailingAttributeEndsTheRunWithStatusOne) {
    writeFile(pkg + "/pkg.list", "c prog name prog2 mode 755\nc foo\n");
    EXPECT_EXIT(ProcessPkgList("pkg"), testing::ExitedWithCode(1), "");
    EXPECT_FALSE(pathExists(a("foo"))); // the child stopped before the next line
    writeFile(pkg + "/pkg.list", "c foo owner zzq-no-such-user\n");
    EXPECT_EXIT(ProcessPkgList("pkg"), testing::ExitedWithCode(1), "");
    writeFile(pkg + "/pkg.list", "c foo sed s/unterminated\n");
    EXPECT_EXIT(ProcessPkgList("pkg"), testing::ExitedWithCode(1), "");
    EXPECT_EQ(leftovers(), 0);
    writeFile(pkg + "/pkg.list", "c foo link " + dir.path + "/no/such/dir/x\n");
    EXPECT_EXIT(ProcessPkgList("pkg"), testing::ExitedWithCode(1), "");
}

// The commands each line runs, through fakes that only record their
// arguments: W stands for the work area, A for the application directory and
// T for the private temporary file of a sed edit. "logged" are the log lines
// of the run (commands of modes 1 and 2 and the skip warnings), in order.
struct LineCase {
    const char *line;
    std::vector<std::string> existing; // made in A before the line runs
    std::vector<std::string> calls;
    std::vector<std::string> logged;
};

class PkgListCommandsTest : public PkgListTest {
  protected:
    std::string bin = dir / "bin";
    std::string calls = dir / "calls";
    static constexpr int kFaked[] = {ROW_CHGRP, ROW_CHMOD, ROW_CHOWN, ROW_CP_P,
                                     ROW_CP_PR, ROW_LN,    ROW_MV,    ROW_MKDIR,
                                     ROW_RM_F,  ROW_RM_RF, ROW_TOUCH, ROW_SED};
    char *savedDirs[sizeof kFaked / sizeof kFaked[0]] = {};
    char savedUseLog = 0, savedCmdLog = 0;

    void SetUp() override {
        PkgListTest::SetUp();
        makeDirs(bin);
        for (const char *c :
             {"chgrp", "chmod", "chown", "cp", "ln", "mv", "mkdir", "rm", "touch", "sed"})
            writeFile(bin + "/" + c, "#!/bin/sh\necho \"${0##*/} $*\" >> " + calls + "\n", 0755);
        for (size_t i = 0; i < std::size(kFaked); i++) {
            savedDirs[i] = ComList[kFaked[i]].directory;
            ComList[kFaked[i]].directory = strdup(bin.c_str());
        }
        savedUseLog = flUseLog;
        savedCmdLog = flSysCmdLog;
        flUseLog = 1;
        flSysCmdLog = 1;
    }
    void TearDown() override {
        for (size_t i = 0; i < std::size(kFaked); i++) {
            free(ComList[kFaked[i]].directory);
            ComList[kFaked[i]].directory = savedDirs[i];
        }
        flUseLog = savedUseLog;
        flSysCmdLog = savedCmdLog;
        PkgListTest::TearDown();
    }
    std::string shLine() const {
        return std::string(ComList[SHELL_ROW].directory) + "/" + ComList[SHELL_ROW].name + " -c \"";
    }
    std::vector<std::string> lines(const std::string &text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) {
            for (auto [from, to] :
                 {std::pair{shLine(), std::string()}, {bin + "/", ""}, {app, "A"}, {work, "W"}})
                for (size_t at; (at = l.find(from)) != std::string::npos;)
                    l.replace(at, from.size(), to);
            l = std::regex_replace(l, std::regex("/tmp/" + name + "_[0-9]+[A-Za-z0-9]{6}"), "T");
            // A command without default flags is followed by two blanks in the
            // logged line; that spacing belongs to the command layer.
            out.push_back(std::regex_replace(l, std::regex("^(\\w+)  "), "$1 "));
        }
        return out;
    }
    // Removes the sed temporaries that the fake rm left.
    void removeTemporaries() {
        DIR *d = opendir("/tmp");
        for (dirent *e; d && (e = readdir(d));)
            if (strncmp(e->d_name, name.c_str(), name.size()) == 0)
                unlink(("/tmp/" + std::string(e->d_name)).c_str());
        if (d) closedir(d);
    }
};

TEST_F(PkgListCommandsTest, EachLineRunsAndLogsItsCommandsInOrder) {
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    std::string rel = u.release;
    std::string longWord(300, 'x');
    const LineCase cases[] = {
        {"c prog mode 755 owner root group sys",
         {},
         {"cp -p W/pkg/prog A", "chmod 755 A/prog", "chown -R root A/prog", "chgrp -R sys A/prog"},
         {"cp -p W/pkg/prog A", "chmod 755 A/prog", "chown -R root A/prog", "chgrp -R sys A/prog"}},
        {"dir fonts mode 755",
         {},
         {"cp -pr W/pkg/fonts A", "chmod 755 A/fonts"},
         {"cp -pr W/pkg/fonts A", "chmod 755 A/fonts"}},
        {"dirto fonts /usr/lib/fonts mode 755",
         {},
         {"cp -pr W/pkg/fonts /usr/lib/fonts", "chmod 755 A/fonts"},
         {"cp -pr W/pkg/fonts /usr/lib/fonts", "chmod 755 A/fonts"}},
        {"t empty mode 600",
         {},
         {"touch A/empty", "chmod 600 A/empty"},
         {"touch A/empty", "chmod 600 A/empty"}},
        {"install prog", {}, {"cp -p W/pkg/prog A"}, {"cp -p W/pkg/prog A"}},
        {"#c foo", {}, {"cp -p W/pkg/foo A"}, {"cp -p W/pkg/foo A"}},
        {"t,c foo", {}, {"cp -p W/pkg/foo A"}, {"cp -p W/pkg/foo A"}},
        {"C foo", {}, {"cp -p W/pkg/foo A"}, {"cp -p W/pkg/foo A"}},
        {"# c foo mode 700", {}, {}, {}},
        {"   c   prog  mode 644\r",
         {},
         {"cp -p W/pkg/prog A", "chmod 644 A/prog"},
         {"cp -p W/pkg/prog A", "chmod 644 A/prog"}},
        {"c prog link /usr/bin/prog name prog2 mode 700",
         {},
         {"cp -p W/pkg/prog A", "ln -s A/prog /usr/bin/prog", "mv -f A/prog A/prog2",
          "chmod 700 A/prog"},
         {"cp -p W/pkg/prog A", "ln -s A/prog /usr/bin/prog", "mv -f A/prog A/prog2",
          "chmod 700 A/prog"}},
        {"c prog color red Mode 700 mode 711",
         {},
         {"cp -p W/pkg/prog A", "chmod 711 A/prog"},
         {"cp -p W/pkg/prog A", "chmod 711 A/prog"}},
        {"c prog mode", {}, {"cp -p W/pkg/prog A"}, {"cp -p W/pkg/prog A"}},
        {"c prog mode 755 sed s/a/b/ owner bin",
         {},
         {"cp -p W/pkg/prog A", "chmod 755 A/prog", "sed s/a/b/ A/prog", "cp -p T A/prog",
          "rm -f T", "chown -R bin A/prog"},
         {"cp -p W/pkg/prog A", "chmod 755 A/prog", "{ sed s/a/b/ A/prog > T; }",
          "chown -R bin A/prog"}},
        {"m README sed -e s/OLD/NEW/g  -e s/x/y/ mode 600",
         {"README"},
         {"sed -e s/OLD/NEW/g -e s/x/y/ mode 600 A/README", "cp -p T A/README", "rm -f T"},
         {"{ sed -e s/OLD/NEW/g  -e s/x/y/ mode 600 A/README > T; }"}},
        {"m README", {"README"}, {}, {}},
        {"m missing mode 700", {}, {}, {}},
        {"s missing sed -e s/a/b/", {}, {}, {}},
        {"s README mode 604", {"README"}, {"chmod 604 A/README"}, {"chmod 604 A/README"}},
        {"newdir logs mode 777",
         {},
         {"mkdir -p A/logs", "chmod 775 A/logs", "chmod 777 A/logs"},
         {"mkdir -p A/logs", "chmod 775 A/logs", "chmod 777 A/logs"}},
        {"newdir logs mode 777", {"logs"}, {}, {}},
        {"checkps ,zzq-never-running, mode 755",
         {},
         {"chmod 755 A/,zzq-never-running,"},
         {"chmod 755 A/,zzq-never-running,"}},
        {"c", {}, {}, {"WARNING: package list: 'c' without a name, line skipped"}},
        {"c\tprog", {}, {}, {"WARNING: package list: 'c\tprog' without a name, line skipped"}},
        {"dirto fonts",
         {},
         {},
         {"WARNING: package list: 'dirto fonts' without a destination, line skipped"}},
        {"v < ~ c prog mode 600",
         {},
         {"cp -p W/pkg/prog A", "chmod 600 A/prog"},
         {"cp -p W/pkg/prog A", "chmod 600 A/prog"}},
        {"v <= 0 c prog", {}, {}, {}},
        {"v >= 0 v < ~ t f", {}, {"touch A/f"}, {"touch A/f"}},
        {"v >= 0 v > ~ t f", {}, {}, {}},
        {"v => 0 t f", {}, {}, {}},
        {"v > 0 # t f", {}, {}, {}},
        {"v > 0", {}, {}, {}},
        {"v > 0 t", {}, {}, {"WARNING: package list: 't' without a name, line skipped"}},
        {"v >", {}, {}, {}},
    };
    const std::string warnLong =
        "WARNING: package list: a word of 255 characters or more, line skipped";
    std::vector<LineCase> all(std::begin(cases), std::end(cases));
    std::string eq = "v = " + rel + " t same", ne = "v != " + rel + " t same";
    std::string l1 = "c prog mode 755 owner " + longWord, l2 = longWord + " prog mode 700",
                l3 = "v > 0 c " + longWord, l4 = "m README sed s/" + longWord + "/y/";
    all.push_back({eq.c_str(), {}, {"touch A/same"}, {"touch A/same"}});
    all.push_back({ne.c_str(), {}, {}, {}});
    all.push_back({l1.c_str(), {}, {}, {warnLong}});
    all.push_back({l2.c_str(), {}, {}, {warnLong}});
    all.push_back({l3.c_str(), {}, {}, {warnLong}});
    all.push_back({l4.c_str(),
                   {"README"},
                   {"sed s/" + longWord + "/y/ A/README", "cp -p T A/README", "rm -f T"},
                   {"{ sed s/" + longWord + "/y/ A/README > T; }"}});
    int n = 0;
    for (const LineCase &c : all) {
        SCOPED_TRACE(c.line);
        std::string log = "/tmp/" + name + "_" + std::to_string(n++) + ".log";
        free(my_name);
        my_name = strdup((name + "_" + std::to_string(n - 1)).c_str());
        unlink(log.c_str());
        unlink(calls.c_str());
        for (const std::string &e : c.existing)
            writeFile(a(e), "");
        EXPECT_EQ(list(std::string(c.line) + "\n"), 0);
        EXPECT_EQ(lines(pathExists(calls) ? readFile(calls) : ""), c.calls);
        EXPECT_EQ(lines(pathExists(log) ? readFile(log) : ""), c.logged);
        unlink(log.c_str());
        removeTemporaries();
        for (const std::string &e : c.existing) {
            unlink(a(e).c_str());
            rmdir(a(e).c_str());
        }
    }
}

} // namespace
