// cmake --install: the tools, their manual pages and texts, and the toolkit package that a
// program outside the project builds against.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/scratch.h"

namespace {

struct Step {
    const char *what;
    std::string script;
    const char *expect; // in the output; null: only the status counts
};

TEST(InstallPackage, ToolsAndToolkitInstallAndAProgramBuildsAgainstThem) {
    ScratchDir dir;
    std::string prefix = dir / "prefix", app = dir / "app";
    makeDirs(app);
    const Step steps[] = {
        {"install", "\"$CMAKE\" --install " BINARY_DIR " --prefix " + prefix, nullptr},
        {"setup is not installed", "test ! -e " + prefix + "/bin/setup && ls " + prefix + "/bin",
         "helpview\nnlscat\nodbtool\n"},
        {"manual pages", "ls " + prefix + "/share/man/man1", "helpview.1\nnlscat.1\nodbtool.1\n"},
        {"odbtool on the installed texts",
         prefix + "/bin/odbtool check " + prefix +
             "/share/zarvo-toolkit/nls/db/en_US/CoreString.odb",
         "no damage"},
        {"helpview finds its installed texts",
         "LANG=C " + prefix + "/bin/helpview " SOURCE_DIR "/demo/help/queues.html", "e) Exit Help"},
        {"configure a program against the package",
         "\"$CMAKE\" -S " SOURCE_DIR "/tests/install/app -B " + app + " -G \"$GENERATOR\"" +
             " -DCMAKE_CXX_COMPILER=\"$CXX\" -DCMAKE_CXX_COMPILER_LAUNCHER=\"$LAUNCHER\"" +
             " -DCMAKE_PREFIX_PATH=" + prefix,
         "Build files have been written"},
        {"build it", "\"$CMAKE\" --build " + app, nullptr},
        {"run it", "cd " + app + " && ./app", "hello 0000056400000126\n"},
    };
    for (const Step &step : steps) {
        ShellRun run;
        run.env = {"CMAKE=" CMAKE_COMMAND_PATH,
                   "GENERATOR=" CMAKE_GENERATOR_NAME,
                   "CXX=" CXX_COMPILER,
                   "LAUNCHER=" CXX_LAUNCHER,
                   "HOME=" + dir.path,
                   "CCACHE_BASEDIR=/work",
                   "ASAN_OPTIONS=detect_leaks=0",
                   "PATH=/usr/local/bin:/usr/bin:/bin"};
        run.script = "-c";
        run.args = {step.script};
        run.input = "e\n"; // leaves the help viewer
        std::string out;
        ASSERT_EQ(runShell(run, &out), 0) << step.what << ":\n" << out;
        if (step.expect) {
            EXPECT_NE(out.find(step.expect), std::string::npos) << step.what << ":\n" << out;
        }
    }
}

} // namespace
