// Readiness checks with fake whoami/ps and typed answers, inside a sandbox.
#include "installer/installer.h"
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {
int sleeps = 0;
// The process check waits in 5-second steps; here it only counts them (also
// in the copy of this program that runs inside the sandbox).
[[maybe_unused]] const bool kWaitsCounted = (
    pWaitHook = [](unsigned) { ++sleeps; }, true);
} // namespace

namespace {

namespace fs = std::filesystem;

const char *const kNotRoot = " is logged in\nYou must become root to run setup\n";
const char *const kOldDaemon =
    "\nIf you currently have Zarvo printer software installed that uses OstrelD\nprint daemon, "
    "you must delete all your Zarvo print queues prior to installing\nthis package.\n\nNOTE: "
    "OstrelD is located in <install directory>/Zarvo/osxx\n";
const char *const kQuestion = "\nDo You want to continue with the installation? [yn] ";
const char *const kRunning = "\nThe following processes are running.\nThe installer can not "
                             "continue until these terminate:\n";
const char *const kMenu = "Would you like to:\n1.  Wait 30 seconds for these processes to "
                          "terminate\n2.  Quit the installation\n\nEnter a selection:  ";
const char *const kProducts = ",osqadmin,qsf,";

int count(const std::string &s, const std::string &what) {
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

void freshKnobs() {
    for (const auto &e : fs::directory_iterator("/.sandbox"))
        if (e.path().filename().string().rfind("ps", 0) == 0) fs::remove(e.path());
    fs::remove("/.sandbox/whoami");
}

void startRun() {
    my_name = (char *)"setup";
    flUseLog = 1;
    pAppDir = (char *)"/opt/Zarvo/osxx";
    InitSysCmdList();
}

struct ReadyCase {
    const char *name;
    const char *user;   // whoami's answer (null: no answer at all)
    const char *daemon; // file put in the application directory (null: none)
    std::string input;
    int status;         // kForkReturned when the function returned
    const char *result; // what it returned, as printed
    int questions;      // times the continue question was asked
    bool linksRemoved;
    const char *lang = nullptr; // LANG for the run (null: unset)
};

const ReadyCase kReady[] = {
    {"not root", "lp", "OstrelD", "y\n", kForkReturned, "[0]", 0, false},
    {"no user name", nullptr, "OstrelD", "y\n", kForkReturned, "[0]", 0, false},
    {"root without the earlier daemon", "root", nullptr, "n\n", kForkReturned, "[1]", 0, false},
    {"y", "root", "OstrelD", "y\n", kForkReturned, "[1]", 1, true},
    {"yes please, for OstrelDStop", "root", "OstrelDStop", "yes please\n", kForkReturned, "[1]", 1,
     true},
    {"Y and YES are asked again", "root", "OstrelD", "Y\nYES\ny\n", kForkReturned, "[1]", 3, true},
    {"the newline left by the licence asks twice", "root", "OstrelD", "\ny\n", kForkReturned, "[1]",
     2, true},
    {"n ends the run", "root", "OstrelD", "n\n", 0, "", 1, false},
    {"no ends the run", "root", "OstrelD", "no thanks\n", 0, "", 1, false},
    {"end of input counts as n", "root", "OstrelD", "", 0, "", 1, false},
    {"unknown word, then end of input", "root", "OstrelD", "maybe\n", 0, "", 2, false},
    {"an over-long line is one answer", "root", "OstrelD", std::string(600, 'x') + "\ny\n",
     kForkReturned, "[1]", 2, true},
    {"German question, but only the English answers count", "root", "OstrelD", "j\nja\ny\n",
     kForkReturned, "[1]", 3, true, "ge_GE"},
    {"French question, non is not no", "root", "OstrelD", "o\nnon\nno\n", 0, "", 3, false, "fr_FR"},
};

// The continue question in the run's language.
const char *question(const char *lang) {
    if (!lang) return kQuestion;
    if (!strcmp(lang, "ge_GE"))
        return "\nM\xC3\xB6"
               "chten Sie mit der Installation fortfahren? [jn] ";
    return "\nVoulez-vous poursuivre l'installation ? [on] ";
}

void runReady(const ReadyCase &c) {
    freshKnobs();
    std::error_code ec;
    fs::remove_all("/opt/Zarvo", ec);
    fs::create_directories("/opt/Zarvo/osxx");
    fs::create_directories("/etc/rc2.d");
    writeFile("/etc/rc2.d/KZarvoPrintD", "");
    writeFile("/etc/rc2.d/SZarvoPrintD", "");
    writeFile("/.sandbox/whoami", c.user ? std::string(c.user) + "\n" : "");
    if (c.daemon) writeFile(std::string("/opt/Zarvo/osxx/") + c.daemon, "");
    Forked r = sandboxFork(
        [&c] {
            if (c.lang) setenv("LANG", c.lang, 1);
            startRun();
            int ok = readyForInstallation();
            printf("[%d]", ok);
        },
        c.input);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out << r.err;
    EXPECT_EQ(count(r.out, question(c.lang)), c.questions) << c.name << "\n" << r.out;
    if (c.questions && !c.lang) {
        EXPECT_EQ(r.out.rfind(kOldDaemon, 0), 0u) << c.name << "\n" << r.out;
    }
    if (c.user && !strcmp(c.user, "root")) {
        if (*c.result) {
            EXPECT_EQ(r.out.substr(r.out.size() - 3), c.result) << c.name;
        }
    } else {
        // The name as the C library prints a missing one.
        EXPECT_EQ(r.out, std::string(c.user ? c.user : "(null)") + kNotRoot + c.result) << c.name;
    }
    EXPECT_EQ(!fs::exists("/etc/rc2.d/KZarvoPrintD"), c.linksRemoved) << c.name;
    EXPECT_EQ(!fs::exists("/etc/rc2.d/SZarvoPrintD"), c.linksRemoved) << c.name;
}

TEST(ReadyForInstallation, AnswersAndUsers) {
    if (sandboxInside()) {
        for (const ReadyCase &c : kReady)
            runReady(c);
        return;
    }
    NEED_SANDBOX();
    sandboxSelfTest("ReadyForInstallation.AnswersAndUsers");
}

struct ProcCase {
    const char *name;
    // Knob files of the fake ps; each look at the process table runs ps once
    // per name (two), so look k makes calls 2k-1 and 2k.
    std::vector<std::pair<std::string, std::string>> ps;
    std::string input;
    const char *result; // "[returned, sleeps]"
    int menus;
    const char *report; // process report shown before the first menu ("" = no menu)
};

const ProcCase kProc[] = {
    {"nothing runs", {{"ps", "1 init\n"}}, "2\n", "[0 0]", 0, ""},
    {"choice 2 quits", {{"ps", "120 osqadmin\n"}}, "2\n", "[1 0]", 1, "osqadmin ( 120 )\n"},
    {"choice 1, they end at the third look",
     {{"ps", "120 osqadmin\n"}, {"ps.7", ""}},
     "1\n",
     "[0 3]",
     1,
     "osqadmin ( 120 )\n"},
    {"choice 1, they never end",
     {{"ps", "120 osqadmin\n"}},
     "1\n2\n",
     "[1 6]",
     2,
     "osqadmin ( 120 )\n"},
    {"end of input quits", {{"ps", "120 osqadmin\n"}}, "", "[1 0]", 1, "osqadmin ( 120 )\n"},
    {"another character shows the menu again",
     {{"ps", "77 qsf\n"}},
     "3\n2\n",
     "[1 0]",
     2,
     "qsf ( 77 )\n"},
    {"12 is read as 1 and the newline as another character",
     {{"ps", "77 qsf\n"}},
     "12\n2\n",
     "[1 6]",
     4,
     "qsf ( 77 )\n"},
    {"several programs and ids",
     {{"ps", "120 osqadmin\n133 osqadmin\n77 qsf\n9 osqadmind\n"}},
     "2\n",
     "[1 0]",
     1,
     "osqadmin ( 120 133 )\nqsf ( 77 )\n"},
};

void runProc(const ProcCase &c) {
    freshKnobs();
    for (const auto &[file, text] : c.ps)
        writeFile("/.sandbox/" + file, text);
    Forked r = sandboxFork(
        [] {
            startRun();
            sleeps = 0;
            int quit = QuitForRunningProcesses(kProducts);
            printf("[%d %d]", quit, sleeps);
        },
        c.input);
    EXPECT_EQ(r.status, kForkReturned) << c.name << "\n" << r.out << r.err;
    EXPECT_EQ(count(r.out, kMenu), c.menus) << c.name << "\n" << r.out;
    std::string result = c.result;
    ASSERT_GE(r.out.size(), result.size()) << c.name;
    EXPECT_EQ(r.out.substr(r.out.size() - result.size()), result) << c.name << "\n" << r.out;
    if (c.menus) {
        EXPECT_EQ(r.out.rfind(std::string(kRunning) + c.report + "\n" + kMenu, 0), 0u)
            << c.name << "\n"
            << r.out;
    }
}

TEST(QuitForRunningProcesses, MenuChoicesAndWaits) {
    if (sandboxInside()) {
        for (const ProcCase &c : kProc)
            runProc(c);
        return;
    }
    NEED_SANDBOX();
    sandboxSelfTest("QuitForRunningProcesses.MenuChoicesAndWaits");
}

} // namespace
