// The generated queue, driver and launcher scripts: their form, their syntax
// (sh -n), and every branch run against stub product programs that record
// the arguments, working directory and environment they receive.
#include "installer/installer.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <ctime>
#include <sstream>

namespace {

// A stub product program: appends "== name", one "arg=[...]" per argument,
// "cwd=..." and the exported variables to the record file, copies every
// argument that names a readable file as "data=..." lines, prints "stub out"
// on stdout, and fails while the counter file <name>.fail holds more than 0.
std::string stubText(const std::string &name, const std::string &record) {
    return "#!/bin/sh\n"
           "{\n"
           "echo \"== " +
           name +
           "\"\n"
           "for a in \"$@\"; do echo \"arg=[$a]\"; done\n"
           "echo \"cwd=`pwd`\"\n"
           "export -p\n"
           "for a in \"$@\"; do [ -f \"$a\" ] && while IFS= read -r l; do echo \"data=$l\"; "
           "done < \"$a\"; done\n"
           "} >> " +
           record +
           "\n"
           "echo stub out\n"
           "f=\"$0.fail\"\n"
           "if [ -f \"$f\" ]; then read n < \"$f\"; if [ \"$n\" -gt 0 ]; then "
           "echo $((n - 1)) > \"$f\"; exit 3; fi; fi\n"
           "exit 0\n";
}

class ScriptsTest : public ::testing::Test {
  protected:
    ScratchDir dir;
    std::string app = dir / "app";
    std::string spool = dir / "spool";
    std::string record = dir / "record";
    char *savedApp = nullptr;

    void SetUp() override {
        makeDirs(app);
        makeDirs(spool + "/osxx");
        for (const char *p : {"osrosxxtty", "driver", "qsf", "AixInterface"})
            writeFile(app + "/" + p, stubText(p, record), 0755);
        savedApp = pAppDir;
        pAppDir = strdup(app.c_str());
    }
    void TearDown() override {
        free(pAppDir);
        pAppDir = savedApp;
    }
    void flag(const std::string &text) { writeFile(app + "/.os_cfg", text); }
    std::string interface() {
        std::string p = app + "/ZarvoPrintosxx";
        EXPECT_EQ(generateZarvoPrintosxxScript(p.c_str(), ScriptShShell, ZarvoPrintosxxScript), 1);
        return p;
    }
    std::string driver() {
        std::string p = app + "/v4DriverScript";
        EXPECT_EQ(generatev4DriverScript(p.c_str(), ScriptShShell, pv4DriverScript), 1);
        return p;
    }
    std::string qsf() {
        std::string p = app + "/ZarvoQSF";
        std::string sp = spool + "/osxx";
        EXPECT_EQ(generateZarvoQSFScript(p.c_str(), ScriptShShell, ZarvoQSFScript, sp.c_str()), 1);
        return p;
    }
    // The queue name comes from $0 in some branches: run through a link.
    std::string asQueue(const std::string &script, const std::string &queue) {
        std::string link = dir / ("queues/" + queue);
        makeDirs(dir / "queues");
        symlink(script.c_str(), link.c_str());
        return link;
    }
    int run(const ShellRun &r, std::string *out = nullptr) { return runShell(r, out); }
    std::string rec() { return readFile(record); }
};

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// The lines of s.
std::vector<std::string> lines(const std::string &s) {
    std::vector<std::string> v;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);)
        v.push_back(l);
    return v;
}

int thisYear() {
    time_t now = time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    return t.tm_year + 1900;
}

TEST_F(ScriptsTest, EveryScriptHasShellLineBannerAndToolPathFirst) {
    std::string sp = spool + "/osxx";
    for (const std::string &path : {interface(), driver(), qsf()}) {
        std::vector<std::string> l = lines(readFile(path));
        ASSERT_GE(l.size(), 8u) << path;
        EXPECT_EQ(l[0], "#!/bin/sh");
        EXPECT_EQ(l[1], std::string(63, '#'));
        EXPECT_EQ(l[2], "##" + std::string(59, ' ') + "##");
        EXPECT_EQ(l[3].size(), 63u);
        EXPECT_EQ(l[3].substr(0, 2), "##");
        EXPECT_EQ(l[3].substr(61), "##");
        EXPECT_EQ(l[3], "##    Copyright (c) " + std::to_string(thisYear()) +
                            " Zarvo Inc.  All rights reserved.    ##");
        EXPECT_EQ(l[4], l[2]);
        EXPECT_EQ(l[5], l[1]);
        EXPECT_EQ(l[6], "");
        EXPECT_EQ(l[7], "ToolPath=\"" + app + "\"") << path;
        EXPECT_EQ(fileMode(path), 0755);
        EXPECT_EQ(system(("/bin/sh -n " + shQuote(path) + " 2>&1").c_str()), 0) << path;
    }
    EXPECT_TRUE(has(readFile(app + "/ZarvoQSF"), "SpoolDir=\"" + sp + "\"\n"));
}

TEST_F(ScriptsTest, UnopenableScriptIsReportedAndSkipped) {
    std::string p = dir / "missing/dir/script";
    testing::internal::CaptureStderr();
    EXPECT_EQ(generatev4DriverScript(p.c_str(), ScriptShShell, pv4DriverScript), 0);
    EXPECT_TRUE(has(testing::internal::GetCapturedStderr(), "ERROR: can't open file, " + p));
    EXPECT_FALSE(pathExists(p));
}

TEST_F(ScriptsTest, LauncherRunsTheProgramFromTheApplicationDirectory) {
    std::string bat = dir / "bin/tool";
    makeDirs(dir / "bin");
    GenSimpleScript(bat.c_str(), ScriptShShell, SimpleScript, pAppDir, pAppDir, "qsf");
    std::vector<std::string> l = lines(readFile(bat));
    ASSERT_GE(l.size(), 11u);
    EXPECT_EQ(l[0], "#!/bin/sh");
    EXPECT_EQ(l[7], "OstrelFileSourceDir=`pwd`");
    EXPECT_EQ(l[10], "exec " + app + "/qsf $*");
    EXPECT_EQ(fileMode(bat), 0755);
    makeDirs(dir / "work");
    EXPECT_EQ(run({.cwd = dir / "work", .script = bat, .args = {"-x", "job"}}), 0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "== qsf\narg=[-x]\narg=[job]\ncwd=" + app + "\n")) << r;
    EXPECT_TRUE(has(r, "OstrelFileSourceDir='" + dir.path + "/work'")) << r;
}

// Queue interface script, one case per print subsystem.
TEST_F(ScriptsTest, InterfaceAixPassesAllArguments) {
    flag(" AIX ");
    EXPECT_EQ(run({.cwd = "/", .script = interface(), .args = {"-a", "b c"}}), 0);
    EXPECT_TRUE(has(rec(), "== AixInterface\narg=[-a]\narg=[b c]\ncwd=" + app + "\n")) << rec();
}

TEST_F(ScriptsTest, InterfaceBsdNamesTheQueueAfterTheSpoolDirectory) {
    flag(" BSD ");
    std::string q = dir / "lpd/laser";
    makeDirs(q);
    EXPECT_EQ(run({.cwd = q, .script = interface(), .input = "job"}), 0);
    EXPECT_TRUE(has(rec(), "== osrosxxtty\narg=[-dlaser]\narg=[-f]\ncwd=" + q + "\n")) << rec();
    EXPECT_EQ(readFile(q + "/ostrelosxx.log"), "stub out\n");
}

TEST_F(ScriptsTest, InterfaceLprngTranslatesFilterOptions) {
    flag(" LPRng ");
    std::string cwd = dir / "lpd/laser";
    makeDirs(cwd);
    std::string out;
    EXPECT_EQ(
        run({.cwd = cwd,
             .script = interface(),
             .args = {"-Plaser", "-d/sp/laser", "-ef1,f2", "-Zduplex,a4", "-njoe", "-hhost1"}},
            &out),
        0);
    EXPECT_EQ(out, ""); // all output goes to /dev/null
    std::string r = rec();
    EXPECT_TRUE(has(r, "== osrosxxtty\narg=[-dlaser]\narg=[-f]\narg=[-oduplex]\narg=[-oa4]\n"
                       "arg=[/sp/laser/f1]\narg=[/sp/laser/f2]\ncwd=" +
                           app + "\n"))
        << r;
    EXPECT_TRUE(has(r, "OstrelFileSourceDir='" + cwd + "'"));
    EXPECT_TRUE(has(r, "OstrelUser_name='joe'"));
    EXPECT_TRUE(has(r, "OstrelHost_name='host1'"));
}

TEST_F(ScriptsTest, InterfaceV5TakesQueueFromItsNameAndCutsTheTitleMarker) {
    flag(" V5 ");
    std::string link = asQueue(interface(), "laser");
    EXPECT_EQ(
        run({.script = link, .args = {"42", "joe", "Report###x y", "2", "nobanner", "f1", "f 2"}}),
        0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "== osrosxxtty\narg=[-dlaser]\narg=[-i]\narg=[f1]\narg=[f 2]\n")) << r;
    for (const char *v : {"OstrelPrinter='laser'", "OstrelRequest_id='42'", "OstrelUser_name='joe'",
                          "OstrelTitle='Report'", "OstrelCopies='2'",
                          "OstrelOption_list='nobanner'", "PATH='/usr/sbin:/usr/bin'"})
        EXPECT_TRUE(has(r, v)) << v << "\n" << r;
}

TEST_F(ScriptsTest, InterfaceCupsTakesQueueFromPrinterAndKeepsTheTitle) {
    flag(" CUPS ");
    EXPECT_EQ(run({.env = {"PRINTER=cq"},
                   .script = interface(),
                   .args = {"7", "ann", "T###x", "1", "o", "f1"}}),
              0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "== osrosxxtty\narg=[-dcq]\narg=[-i]\narg=[f1]\n")) << r;
    EXPECT_TRUE(has(r, "OstrelTitle='T###x'")) << r;
    EXPECT_TRUE(has(r, "OstrelPrinter='cq'")) << r;
}

TEST_F(ScriptsTest, MissingOrEmptyFlagFileSelectsV5AndTheLastKnownWordWins) {
    for (const char *text : std::vector<const char *>{"", nullptr, " junk ", " BSD  CUPS "}) {
        if (text)
            flag(text);
        else
            unlink((app + "/.os_cfg").c_str());
        unlink(record.c_str());
        std::string link = asQueue(interface(), "q1");
        std::string out;
        EXPECT_EQ(
            run({.env = {"PRINTER=cq"}, .script = link, .args = {"1", "u", "t", "1", "o", "f"}},
                &out),
            0);
        std::string want = text && strstr(text, "CUPS") ? "arg=[-dcq]" : "arg=[-dq1]";
        EXPECT_TRUE(has(rec(), "== osrosxxtty\n" + want + "\narg=[-i]")) << (text ? text : "none");
        // The flag file is read with a plain cat: a missing one shows in the
        // script's error output (the spooler's log).
        EXPECT_EQ(has(out, ".os_cfg"), text == nullptr) << out;
        unlink(link.c_str());
    }
}

// Driver script.
TEST_F(ScriptsTest, DriverAixSetsTheModuleVariables) {
    flag(" AIX ");
    EXPECT_EQ(run({.script = driver(), .args = {"x", "y"}}), 0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "== driver\narg=[-f]\narg=[AIX]\narg=[x]\narg=[y]\ncwd=" + app + "\n")) << r;
    EXPECT_TRUE(has(r, "PANGO_RC_FILE='" + app + "/lib/gtk/modules/etc/pango/pangorc'"));
    EXPECT_TRUE(
        has(r, "GTK_IM_MODULE_FILE='" + app + "/lib/gtk/modules/etc/gtk-2.0/gtk.immodules'"));
    EXPECT_TRUE(has(r, "GDK_PIXBUF_MODULE_FILE='" + app +
                           "/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders'"));
}

TEST_F(ScriptsTest, DriverLprngAndBsdAreDrivenTheLprngWay) {
    for (const char *f : {" LPRng ", " BSD "}) {
        flag(f);
        unlink(record.c_str());
        std::string out;
        EXPECT_EQ(run({.cwd = dir.path,
                       .script = driver(),
                       .args = {"-Plaser", "-d/sp", "-ea,b", "-Zx,y", "-njoe", "-hh1"}},
                      &out),
                  0);
        EXPECT_EQ(out, "");
        std::string r = rec();
        EXPECT_TRUE(
            has(r, "== driver\narg=[-dlaser]\narg=[-ox]\narg=[-oy]\narg=[/sp/a]\narg=[/sp/b]\n"))
            << f << r;
        EXPECT_TRUE(has(r, "UserName='-u joe'")) << r;
        EXPECT_TRUE(has(r, "OstrelHost_name='h1'")) << r;
        EXPECT_TRUE(has(r, "OstrelFileSourceDir='" + dir.path + "'")) << r;
    }
}

TEST_F(ScriptsTest, DriverV5BuildsJobOptions) {
    flag(" V5 ");
    std::string link = asQueue(driver(), "laser");
    EXPECT_EQ(run({.script = link, .args = {"42", "joe@host", "Doc###junk", "3", "a b", "f1"}}), 0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "== driver\narg=[-dlaser]\narg=[-oCopies=3]\narg=[-ujoe]\narg=[-t]\n"
                       "arg=[Doc-t]\narg=[f1]\n"))
        << r;
    EXPECT_TRUE(has(r, "OstrelRequest_id='-o JobID=42'")) << r;
    EXPECT_TRUE(has(r, "DISPLAY=':0.0'")) << r;
    EXPECT_TRUE(has(r, "OptList='a b'")) << r;
    EXPECT_TRUE(has(r, "PATH='/usr/sbin:/usr/bin:/bin'")) << r;
}

TEST_F(ScriptsTest, DriverCupsStripsQuotesAndKeepsTheDisplay) {
    flag(" CUPS ");
    EXPECT_EQ(run({.env = {"PRINTER=cq", "DISPLAY=:9"},
                   .script = driver(),
                   .args = {"5", "\"ann\"", "\"My\" doc", "2", "a b", "f1"}}),
              0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "== driver\narg=[-dcq]\narg=[-oCopies=2]\narg=[-u]\narg=[ann]\narg=[-t]\n"
                       "arg=[My]\narg=[doc]\narg=[-o]\narg=[a]\narg=[-o]\narg=[b]\narg=[f1]\n"))
        << r;
    EXPECT_TRUE(has(r, "DISPLAY=':9'")) << r;
}

// Submission script.
TEST_F(ScriptsTest, QsfAixRetriesUntilAccepted) {
    flag(" AIX ");
    writeFile(app + "/qsf.fail", "2\n");
    EXPECT_EQ(run({.script = qsf(), .args = {"j1"}}), 0);
    std::string r = rec();
    size_t calls = 0;
    for (size_t p = r.find("== qsf"); p != std::string::npos; p = r.find("== qsf", p + 1))
        calls++;
    EXPECT_EQ(calls, 3u) << r;
    EXPECT_TRUE(has(r, "arg=[j1]\ncwd=" + app));
}

TEST_F(ScriptsTest, QsfBsdSpoolsStandardInputAndRemovesTheJob) {
    flag(" BSD ");
    std::string q = dir / "lpd/laser";
    makeDirs(q);
    makeDirs(spool + "/osxx/laser");
    EXPECT_EQ(run({.cwd = q, .script = qsf(), .input = "line one\nline two\n"}), 0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "arg=[" + spool + "/osxx/laser/laser.")) << r;
    EXPECT_TRUE(has(r, "data=line one\ndata=line two\n")) << r;
    EXPECT_TRUE(std::filesystem::is_empty(spool + "/osxx/laser"));
}

TEST_F(ScriptsTest, QsfLprngCollectsFilesOrSpoolsStandardInput) {
    flag(" LPRng ");
    std::string q = dir / "lpd/laser";
    makeDirs(q);
    EXPECT_EQ(run({.cwd = q, .script = qsf(), .args = {"-Plaser", "-f", "a", "-Jtitle", "-fb"}}),
              0);
    EXPECT_TRUE(has(rec(), "== qsf\narg=[a]\narg=[b]\n")) << rec();
    unlink(record.c_str());
    std::string sd = dir / "sd";
    makeDirs(sd);
    EXPECT_EQ(
        run({.cwd = q, .script = qsf(), .args = {"-d" + sd, "-f(stdin)"}, .input = "hello\n"}), 0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "arg=[" + sd + "/laser.")) << r;
    EXPECT_TRUE(has(r, "data=hello\n")) << r;
    EXPECT_TRUE(std::filesystem::is_empty(sd));
}

// Only the copy of standard input is the script's own: a file named after it
// is the user's and must survive the submission.
TEST_F(ScriptsTest, QsfLprngRemovesOnlyItsCopyOfStandardInput) {
    flag(" LPRng ");
    std::string q = dir / "lpd/laser";
    makeDirs(q);
    std::string sd = dir / "sd";
    makeDirs(sd);
    std::string mine = dir / "report.txt";
    writeFile(mine, "keep\n");
    EXPECT_EQ(run({.cwd = q,
                   .script = qsf(),
                   .args = {"-d" + sd, "-f(stdin)", "-f" + mine},
                   .input = "hello\n"}),
              0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "arg=[" + sd + "/laser.")) << r;
    EXPECT_TRUE(has(r, "arg=[" + mine + "]\n")) << r;
    EXPECT_TRUE(has(r, "data=hello\ndata=keep\n")) << r;
    EXPECT_TRUE(std::filesystem::is_empty(sd));
    EXPECT_EQ(readFile(mine), "keep\n");
}

TEST_F(ScriptsTest, QsfV5AndCupsExportTheJobVariables) {
    flag(" V5 ");
    std::string link = asQueue(qsf(), "laser");
    EXPECT_EQ(run({.script = link, .args = {"9", "joe", "T", "1", "o", "f1"}}), 0);
    std::string r = rec();
    EXPECT_TRUE(has(r, "== qsf\narg=[f1]\ncwd=" + app)) << r;
    EXPECT_TRUE(has(r, "OstrelPrinter='laser'") && has(r, "OstrelRequest_id='9'") &&
                has(r, "OstrelTitle='T'"))
        << r;
    flag(" CUPS ");
    unlink(record.c_str());
    EXPECT_EQ(
        run({.env = {"PRINTER=cq"}, .script = link, .args = {"9", "joe", "T", "1", "o", "f1"}}), 0);
    EXPECT_TRUE(has(rec(), "OstrelPrinter='cq'")) << rec();
    EXPECT_TRUE(has(readFile(app + "/ZarvoQSF"), "CUPS) # Common Unix Printing System\n"));
}

} // namespace
