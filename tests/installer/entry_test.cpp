// The installer's entry: the command line's directories and the arguments that end the run,
// the work area's parent, and the cut of a path to the product's base.
#include "installer/installer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A fresh scratch directory, removed with everything in it afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        char tmpl[] = "/tmp/entry_test.XXXXXX";
        if (mkdtemp(tmpl) != nullptr) path = tmpl;
    }
    ~ScratchDir() {
        if (!path.empty()) system(("rm -rf '" + path + "'").c_str());
    }
    std::string path;
};

bool Exists(const std::string &p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// Resets the install state the way main() leaves it before parsing.
void ResetState() {
    my_name = (char *)"setup";
    pZarvoInstallDir = (char *)"/tmp/ZarvoInstall";
    pCmdLineInstallDir = nullptr;
    flCreatedTmpDir = 0;
}

// argv for the parser: program name first; the strings live in args.
std::vector<char *> Argv(std::vector<std::string> &args) {
    std::vector<char *> argv{(char *)"setup"};
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

void Parse(std::vector<std::string> args) {
    ResetState();
    auto argv = Argv(args);
    parseCommandLineOptions((int)argv.size() - 1, argv.data());
}

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(scratch.path.empty());
        w = scratch.path;
    }
    ScratchDir scratch;
    std::string w; // an existing directory for work-area arguments
};

TEST_F(CommandLine, DirectoriesByPosition) {
    struct {
        std::vector<std::string> args;
        const char *install; // expected pCmdLineInstallDir, null for none
        std::string work;    // expected pZarvoInstallDir
    } cases[] = {
        {{}, nullptr, "/tmp/ZarvoInstall"},
        {{w}, nullptr, w + "/ZarvoInstall"},
        {{w + "/"}, nullptr, w + "/ZarvoInstall"},
        {{w + "//"}, nullptr, w + "//ZarvoInstall"},
        {{w, "/b"}, "/b", w + "/ZarvoInstall"},
        {{w, "install", "/b"}, "/b", w + "/ZarvoInstall"},
        {{"install", "/b"}, "/b", "/tmp/ZarvoInstall"},
        {{"install"}, nullptr, "/tmp/ZarvoInstall"},
        {{w, "/opt/Zarvo/osxx"}, "/opt", w + "/ZarvoInstall"},
        {{"install", "/opt/"}, "/opt", "/tmp/ZarvoInstall"},
        {{"install", "/a", "install", "/b"}, "/b", "/tmp/ZarvoInstall"},
        {{"install", "/b", w}, "/b", w + "/ZarvoInstall"},
        {{"/", "/"}, "/", "/ZarvoInstall"},                // the root loses its only slash too
        {{"Install", "/b"}, "/b", "Install/ZarvoInstall"}, // keywords are case-sensitive
        // Options stand anywhere and do not count as positions.
        {{"--accept-licence", w, "/b"}, "/b", w + "/ZarvoInstall"},
        {{w, "--check", "--list", "/b", "--accept-license"}, "/b", w + "/ZarvoInstall"},
        {{"install", "--accept-licence", "/b"}, "/b", "/tmp/ZarvoInstall"},
    };
    for (auto &c : cases) {
        std::string label;
        for (auto &a : c.args)
            label += a + " ";
        if (c.args.size() == 2 && c.args[0] == "Install") {
            // "Install" names a relative work-area parent: run it inside the scratch dir.
            char old[512];
            ASSERT_NE(getcwd(old, sizeof old), nullptr);
            ASSERT_EQ(chdir(w.c_str()), 0);
            Parse(c.args);
            EXPECT_TRUE(Exists("Install"));
            ASSERT_EQ(chdir(old), 0);
        } else {
            Parse(c.args);
        }
        if (c.install == nullptr)
            EXPECT_EQ(pCmdLineInstallDir, nullptr) << label;
        else
            EXPECT_STREQ(pCmdLineInstallDir, c.install) << label;
        EXPECT_EQ(pZarvoInstallDir, c.work) << label;
    }
}

TEST_F(CommandLine, MissingWorkAreaParentIsCreated) {
    Parse({w});
    EXPECT_EQ(flCreatedTmpDir, 0);
    std::string sub = w + "/new/deeper";
    Parse({w, "/b", sub + "/"}); // a later work-area argument overrides
    EXPECT_EQ(flCreatedTmpDir, 1);
    EXPECT_TRUE(Exists(sub));
    EXPECT_EQ(pZarvoInstallDir, sub + "/ZarvoInstall");
}

// Child side of the exit tests: parse args with stdout sent to stderr, so
// that the death-test matcher sees both streams.
[[noreturn]] void ParseAndReport(std::vector<std::string> args) {
    dup2(2, 1);
    Parse(std::move(args));
    exit(99); // did not end the process
}

TEST_F(CommandLine, ArgumentsThatEndTheRun) {
    struct {
        std::vector<std::string> args;
        int status;
        const char *output; // regular expression over stdout + stderr
    } cases[] = {
        {{"-v"}, 0, "^setup 4\\.30\\.18\n$"},
        {{w + "/never", "-v"}, 0, "^setup 4\\.30\\.18\n$"},
        {{"-h"}, 0, "Usage: setup .*install BASEDIR.*-v"},
        {{w, "--help"}, 0, "Usage: setup"},
        {{"-x"}, 2, "unknown option '-x'.*Usage: setup"},
        {{"--"}, 2, "Usage: setup"},
        {{"install", "-v"}, 2, "unknown option '-v'.*Usage"},
        {{w, "-rf"}, 2, "Usage"},
        {{"/a b"}, 2, "ERROR: refusing directory '/a b'"},
        {{"install", "/opt;rm"}, 2, "ERROR: refusing directory '/opt;rm'"},
        {{w, "/x$(id)"}, 2, "refusing"},
        {{"/x'y"}, 2, "refusing"},
        {{""}, 2, "empty directory"},
        {{"/" + std::string(300, 'd')}, 2, "longer than 200"},
        {{"-v", "/a b"}, 0, "^setup 4\\.30\\.18\n$"},
        {{"install", "/b", "--help"}, 0, "^Usage: setup .*--accept-licence.*--check.*--list"},
        {{"-v", "-x", "-h"}, 0, "^Usage: setup"}, // help comes before anything else
        {{"--accept-licence", "--bogus"}, 2, "unknown option '--bogus'.*Usage: setup"},
    };
    for (auto &c : cases) {
        std::string label;
        for (auto &a : c.args)
            label += a + " ";
        EXPECT_EXIT(ParseAndReport(c.args), ::testing::ExitedWithCode(c.status), c.output) << label;
    }
    // Nothing was created by a command line that ended the run.
    EXPECT_FALSE(Exists(w + "/never"));
}

TEST_F(CommandLine, UncreatableWorkAreaParentEndsTheRun) {
    std::string file = w + "/plainfile";
    int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string bad = file + "/sub";
    EXPECT_EXIT(ParseAndReport({bad}), ::testing::ExitedWithCode(2),
                "ERROR: couldn't open " + bad + "\n\n");
}

// Answers the licence question with "y" from a pipe on standard input.
void AcceptLicence() {
    int fds[2];
    if (pipe(fds) != 0 || write(fds[1], "y\n", 2) != 2) _exit(98);
    close(fds[1]);
    dup2(fds[0], 0);
    close(fds[0]);
}

TEST(Setup, VersionRightAfterTheLicence) {
    std::string prog = "/some/where/setup", v = "-v";
    char *argv[] = {prog.data(), v.data(), nullptr};
    EXPECT_EXIT(
        {
            AcceptLicence();
            setupMain(2, argv);
        },
        ::testing::ExitedWithCode(0), "^setup 4\\.30\\.18\n$");
    std::string cmd = "printf 'y\\n' | " + std::string(SETUP_BIN) + " -v 2>&1 >/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[64] = "";
    ASSERT_NE(fgets(line, sizeof line, p), nullptr);
    EXPECT_EQ(pclose(p), 0);
    EXPECT_STREQ(line, "setup 4.30.18\n");
}

TEST(StripToBaseName, CutsAboveTheApplicationDirectory) {
    struct {
        const char *in, *out;
    } cases[] = {
        {"/opt/Zarvo/osxx", "/opt"},
        {"/opt/", "/opt"},
        {"/", "/"},
        {"/opt", "/opt"},
        {"/usr/Zarvo", "/usr"},
        {"/a/osxxtra/Zarvo", "/a"},
        {"/home/Zarvo2/q", "/home"},
        {"/x//", "/x/"},
        {"Zarvo", ""},
    };
    for (auto &c : cases) {
        std::string buf = c.in;
        EXPECT_STREQ(StripToBaseName(buf.data()), c.out) << c.in;
    }
    EXPECT_EQ(StripToBaseName(nullptr), nullptr);
}

TEST(GetToolPath, AbsoluteDirectoryOfTheProgram) {
    ScratchDir scratch;
    std::string top = scratch.path, cwd = top + "/a/b";
    ASSERT_EQ(system(("mkdir -p '" + cwd + "'").c_str()), 0);
    char old[512];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    char real[512];
    ASSERT_NE(getcwd(real, sizeof real), nullptr); // /tmp may be a link
    std::string c = real, parent = c.substr(0, c.rfind('/'));
    struct {
        const char *argv0;
        std::string want;
    } cases[] = {
        {"/usr/local/bin/setup", "/usr/local/bin"},
        {"/setup", "/"},
        {"setup", c},
        {"./setup", c + "/."},
        {".//setup", c},
        {"./bin/setup", c + "/bin"},
        {"bin/setup", c + "/bin"},
        {"../setup", c + "/.."},
        {"../x/setup", parent + "/x"},
        {"../../x/setup", parent.substr(0, parent.rfind('/')) + "/x"},
        {"..//setup", c},
    };
    for (auto &t : cases) {
        char *got = GetToolPath(t.argv0);
        EXPECT_EQ(std::string(got), t.want) << t.argv0;
        PutMem(got);
    }
    ASSERT_EQ(chdir(old), 0);
}

} // namespace
