// The package-list language on scratch directories: every command, every
// attribute, the version conditions and the failure modes (copies warn,
// attributes end the run).
#include "installer/installer.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

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

} // namespace
