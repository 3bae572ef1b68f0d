// Previous installation, the move to a new base and the clean-up; everything
// that touches /usr, /opt or /tmp runs inside a sandbox.
#include "installer/installer.h"
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void startRun() {
    my_name = (char *)"setup";
    flUseLog = 1;
    InitSysCmdList();
}

// Runs the inside half of a test in the sandbox and reports its verdict.
void runInside(const char *test) {
    NEED_SANDBOX();
    sandboxSelfTest(test);
}

TEST(SameDirectory, ComparesDirectoriesNotTexts) {
    char tmpl[] = "/tmp/samedir.XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    std::string t = tmpl;
    fs::create_directories(t + "/opt/Zarvo");
    fs::create_directory_symlink(t + "/opt", t + "/alias");
    struct {
        std::string a, b;
        char same;
    } cases[] = {
        {t + "/opt", t + "/opt", 1},
        {t + "/opt", t + "/opt/", 1},
        {t + "/opt", t + "//opt/.", 1},
        {t + "/opt", t + "/opt/Zarvo/..", 1},
        {t + "/opt", t + "/alias", 1},
        {t + "/opt/Zarvo", t + "/alias/Zarvo/", 1},
        {t + "/opt", t + "/opt/Zarvo", 0},
        {t + "/new/x", t + "/new/./x/", 1}, // neither exists yet
        {t + "/new/x", t + "/alias/../new/x", 1},
        {t + "/new/x", t + "/alias/new/x", 0},
        {t + "/alias/new", t + "/opt/new", 1}, // resolved through the existing part
        {t + "/new/x", t + "/new/y", 0},
        {"/", "/..", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SameDirectory(c.a.c_str(), c.b.c_str()), c.same) << c.a << " vs " << c.b;
    EXPECT_EQ(SameDirectory(nullptr, "/"), 0);
    EXPECT_EQ(SameDirectory("", ""), 0);
    fs::remove_all(t);
}

struct LocateCase {
    const char *name;
    const char *link; // text of /usr/Zarvo/osxx as a link; "" = real directory; null = none
    const char *cwd;
    const char *result; // printed base, or "exit N" when the run ends
    char left;          // what /usr/Zarvo/osxx is afterwards: 'l', 'd' or 0
};

const LocateCase kLocate[] = {
    {"nothing installed", nullptr, "/", "[null]", 0},
    {"real directory under /usr", "", "/", "[/usr]", 'd'},
    {"link to /opt", "/opt/Zarvo/osxx", "/", "[/opt]", 'l'},
    {"link with a trailing slash", "/opt/Zarvo/osxx/", "/", "[/opt]", 'l'},
    {"dangling link removed", "/gone/Zarvo/osxx", "/", "[null]", 0},
    {"link to a file removed", "/opt/Zarvo/file", "/", "[null]", 0},
    {"relative link judged from its own directory", "../../opt/Zarvo/osxx", "/tmp/a/b/c", "[/opt]",
     'l'},
    {"relative link elsewhere", "../../srv/base/Zarvo/osxx", "/opt", "[/srv/base]", 'l'},
    // /srv/moved/Zarvo/osxx is itself a link to /srv/product: the base is the
    // directory whose Zarvo/osxx leads to the installation, not the product's.
    {"absolute link to a relocated directory", "/srv/moved/Zarvo/osxx", "/", "[/srv/moved]", 'l'},
    {"relative link to a relocated directory", "../../srv/moved/Zarvo/osxx", "/", "[/srv/moved]",
     'l'},
    // /srv/alias is a link to /opt/Zarvo: the text names no base of its own.
    {"absolute link through a linked maker directory", "/srv/alias/osxx", "/", "[/opt]", 'l'},
    {"relative link through a linked maker directory", "../../srv/alias/osxx", "/", "[/opt]", 'l'},
    // The base ends up in shell command lines: it is refused before anything
    // changes, as an unsafe command-line directory is.
    {"blank in the base", "/srv/my dir/Zarvo/osxx", "/", "exit 2", 'l'},
    {"metacharacter in the base", "../../srv/a;b/Zarvo/osxx", "/", "exit 2", 'l'},
};

void runLocate(const LocateCase &c) {
    std::error_code ec;
    fs::remove_all("/usr/Zarvo", ec);
    fs::remove_all("/tmp/a", ec);
    fs::create_directories("/opt/Zarvo/osxx");
    fs::create_directories("/srv/base/Zarvo/osxx");
    fs::create_directories("/tmp/a/b/c");
    writeFile("/opt/Zarvo/file", "");
    fs::create_directories("/srv/product");
    fs::create_directories("/srv/moved/Zarvo");
    fs::create_directories("/srv/my dir/Zarvo/osxx");
    fs::create_directories("/srv/a;b/Zarvo/osxx");
    if (!fs::exists(fs::symlink_status("/srv/moved/Zarvo/osxx")))
        fs::create_directory_symlink("/srv/product", "/srv/moved/Zarvo/osxx");
    if (!fs::exists(fs::symlink_status("/srv/alias")))
        fs::create_directory_symlink("/opt/Zarvo", "/srv/alias");
    if (c.link) {
        fs::create_directories("/usr/Zarvo");
        if (*c.link)
            fs::create_symlink(c.link, "/usr/Zarvo/osxx");
        else
            fs::create_directories("/usr/Zarvo/osxx");
    }
    Forked r = sandboxFork([&] {
        startRun();
        if (chdir(c.cwd) != 0) return;
        char *base = locatePreviousInstallation();
        printf("[%s]", base ? base : "null");
    });
    if (!strncmp(c.result, "exit ", 5)) {
        EXPECT_EQ(r.status, atoi(c.result + 5)) << c.name << r.out;
        EXPECT_NE(r.err.find("ERROR: "), std::string::npos) << c.name << r.err;
        EXPECT_EQ(r.out.find('['), std::string::npos) << c.name << r.out;
    } else {
        EXPECT_EQ(r.status, kForkReturned) << c.name << r.err;
        std::string out = r.out.substr(std::min(r.out.find('['), r.out.size()));
        EXPECT_EQ(out, c.result) << c.name;
    }
    struct stat st;
    char left = lstat("/usr/Zarvo/osxx", &st) != 0 ? 0 : S_ISLNK(st.st_mode) ? 'l' : 'd';
    EXPECT_EQ(left, c.left) << c.name;
}

TEST(LocatePreviousInstallation, EveryKindOfWellKnownName) {
    if (sandboxInside()) {
        for (const LocateCase &c : kLocate)
            runLocate(c);
        return;
    }
    runInside("LocatePreviousInstallation.EveryKindOfWellKnownName");
}

struct MoveCase {
    const char *name;
    const char *installed; // where the installation really is
    const char *from, *to;
    // "alias": <to>/Zarvo is a link to <installed>/Zarvo; "inside": /srv/base
    // leads into /opt/Zarvo/osxx; "holds": /srv/base leads into the installed
    // /opt/Zarvo/osxx, which has a Zarvo/osxx of its own there; "would hold":
    // the same without that Zarvo/osxx yet.
    const char *extra;
    int moved;
    const char *linkTo; // target of /usr/Zarvo/osxx afterwards ("" = real directory)
};

const MoveCase kMove[] = {
    {"from /usr to /opt", "/usr", "/usr", "/opt", "", 1, "/opt/Zarvo/osxx"},
    {"from /opt back to /usr", "/opt", "/opt", "/usr", "", 1, ""},
    {"from /opt to /srv", "/opt", "/opt", "/srv", "", 1, "/srv/Zarvo/osxx"},
    {"same directory named with dots", "/opt", "/opt", "/usr/../../opt", "", 0, "/opt/Zarvo/osxx"},
    {"same directory with a slash", "/opt", "/opt", "/opt/", "", 0, "/opt/Zarvo/osxx"},
    {"same /usr", "/usr", "/usr", "/usr/.", "", 0, ""},
    {"new maker directory is the old one", "/opt", "/opt", "/srv", "alias", 0, "/opt/Zarvo/osxx"},
    {"old installation inside the new application directory", "/srv/base", "/srv/base", "/opt",
     "inside", 0, "/srv/base/Zarvo/osxx"},
    {"new application directory inside the old installation", "/opt", "/opt", "/srv/base", "holds",
     0, "/opt/Zarvo/osxx"},
    {"new application directory still to be made inside the old installation", "/opt", "/opt",
     "/srv/base", "would hold", 0, "/opt/Zarvo/osxx"},
};

void runMove(const MoveCase &c) {
    std::error_code ec;
    for (const char *d : {"/usr/Zarvo", "/opt/Zarvo", "/srv/Zarvo", "/srv/base"})
        fs::remove_all(d, ec);
    if (!strcmp(c.extra, "would hold")) {
        fs::create_directories("/opt/Zarvo/osxx/sub");
        fs::create_directories("/srv");
        fs::create_directory_symlink("/opt/Zarvo/osxx/sub", "/srv/base");
    }
    if (!strcmp(c.extra, "inside") || !strcmp(c.extra, "holds")) {
        std::string into =
            !strcmp(c.extra, "inside") ? "/opt/Zarvo/osxx/keep" : "/opt/Zarvo/osxx/sub";
        fs::create_directories(into + "/Zarvo/osxx");
        writeFile(into + "/Zarvo/osxx/inner", "kept");
        fs::create_directories("/srv");
        fs::create_directory_symlink(into, "/srv/base");
    }
    std::string app = std::string(c.installed) + "/Zarvo/osxx";
    fs::create_directories(app);
    writeFile(app + "/marker", "kept");
    if (strcmp(c.installed, "/usr") != 0) {
        fs::create_directories("/usr/Zarvo");
        fs::create_symlink(app, "/usr/Zarvo/osxx");
    }
    if (!strcmp(c.extra, "alias")) {
        fs::create_directories(c.to);
        fs::create_directory_symlink(std::string(c.installed) + "/Zarvo",
                                     std::string(c.to) + "/Zarvo");
    }
    Forked r = sandboxFork([&] {
        startRun();
        static std::string newApp = std::string(c.to) + "/Zarvo/osxx";
        pAppDir = newApp.data();
        int moved = MovePreviousInstallation(c.from, c.to);
        printf("[%d]", moved);
    });
    EXPECT_EQ(r.status, kForkReturned) << c.name << r.out << r.err;
    EXPECT_EQ(r.out.substr(std::min(r.out.find('['), r.out.size())),
              "[" + std::to_string(c.moved) + "]")
        << c.name;
    std::string where = c.moved ? std::string(c.to) + "/Zarvo/osxx" : app;
    EXPECT_EQ(readFile(where + "/marker"), "kept") << c.name;
    if (!strcmp(c.extra, "holds")) {
        EXPECT_EQ(readFile("/opt/Zarvo/osxx/sub/Zarvo/osxx/inner"), "kept") << c.name;
    }
    if (!strcmp(c.extra, "would hold")) {
        EXPECT_FALSE(fs::exists("/opt/Zarvo/osxx/sub/Zarvo")) << c.name;
    }
    if (c.moved) {
        EXPECT_FALSE(fs::is_directory(fs::symlink_status(app))) << c.name;
        struct stat st;
        ASSERT_EQ(stat((std::string(c.to) + "/Zarvo").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u) << c.name;
    }
    if (*c.linkTo) {
        EXPECT_EQ(fs::read_symlink("/usr/Zarvo/osxx", ec).string(), c.linkTo) << c.name;
    } else {
        EXPECT_TRUE(fs::is_directory(fs::symlink_status("/usr/Zarvo/osxx"))) << c.name;
    }
}

TEST(MovePreviousInstallation, MovesOnlyBetweenDifferentDirectories) {
    if (sandboxInside()) {
        for (const MoveCase &c : kMove)
            runMove(c);
        return;
    }
    runInside("MovePreviousInstallation.MovesOnlyBetweenDifferentDirectories");
}

TEST(ZarvoClean, RemovesTheWorkAreaAndRunsTheQueueTool) {
    if (sandboxInside()) {
        fs::create_directories("/tmp/ZarvoInstall/pkg");
        fs::create_directories("/tmp/made/ZarvoInstall");
        fs::create_directories("/opt/Zarvo/osxx");
        writeFile("/opt/Zarvo/osxx/osqadmin", "#!/bin/sh\necho \"$@\" >>/tmp/osq.log\n");
        chmod("/opt/Zarvo/osxx/osqadmin", 0755);
        Forked r = sandboxFork([] {
            startRun();
            pAppDir = (char *)"/opt/Zarvo/osxx";
            pZarvoInstallDir = (char *)"/tmp/ZarvoInstall";
            ZarvoClean(pZarvoInstallDir);
            char cwd[256];
            printf("[%s]", getcwd(cwd, sizeof cwd));
        });
        EXPECT_EQ(r.out, "...\n[/]"); // SysCmd's dot, then one per queue-tool run
        EXPECT_FALSE(fs::exists("/tmp/ZarvoInstall"));
        EXPECT_EQ(readFile("/tmp/osq.log"), "-upgrade\n-clean\n");

        r = sandboxFork([] {
            startRun();
            pAppDir = (char *)"/opt/Zarvo/none";
            pZarvoInstallDir = (char *)"/tmp/made/ZarvoInstall";
            flCreatedTmpDir = 1;
            fs::create_directories("/tmp/other");
            ZarvoClean("/tmp/other");
            char cwd[256];
            printf("[%s]", getcwd(cwd, sizeof cwd));
        });
        EXPECT_FALSE(fs::exists("/tmp/other"));
        EXPECT_FALSE(fs::exists("/tmp/made/ZarvoInstall"));
        EXPECT_TRUE(fs::exists("/tmp/made"));
        EXPECT_EQ(r.out, "....\n[/usr]");
        EXPECT_NE(r.err.find("osqadmin"), std::string::npos) << r.err;
        return;
    }
    runInside("ZarvoClean.RemovesTheWorkAreaAndRunsTheQueueTool");
}

} // namespace
