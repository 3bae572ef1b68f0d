// Whole installations of the sample distribution (sample/make-dist.sh) by the
// real setup program inside the sandbox: fresh installs, upgrade, move, the
// failure paths and their exit statuses, and what lands where.
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <regex>
#include <string>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kSample = std::string(SOURCE_DIR) + "/sample";
const std::string kApp = "/usr/Zarvo/osxx";

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// A distribution built from the sample package, optionally with another
// package list and extra package files.
struct Dist {
    ScratchDir dir;
    std::string path = dir / "dist";
    std::string pkg = dir / "pkg";
    // tweak may change the package tree before it is packed.
    explicit Dist(const std::string &pkgList = "", const std::string &makeArgs = "",
                  const std::function<void(const std::string &)> &tweak = nullptr) {
        EXPECT_EQ(system(("cp -pR " + shQuote(kSample + "/pkg") + " " + shQuote(pkg)).c_str()), 0);
        if (!pkgList.empty()) writeFile(pkg + "/pkg.list", pkgList);
        if (tweak) tweak(pkg);
        build(makeArgs);
    }
    void build(const std::string &makeArgs) {
        std::string cmd = "sh " + shQuote(kSample + "/make-dist.sh") + " --pkg " + shQuote(pkg) +
                          " " + makeArgs + " " + shQuote(path) + " >/dev/null";
        EXPECT_EQ(system(cmd.c_str()), 0) << cmd;
    }
};

// Runs /dist/setup with args and input in a fresh sandbox over dist.
void install(Sandbox &sb, const Dist &d, std::vector<std::string> args = {},
             const std::string &input = "y\n") {
    sb.dist = d.path;
    sb.args = std::move(args);
    sb.input = input;
    ASSERT_TRUE(sandboxRun(sb));
}

std::string release() {
    struct utsname u {};
    uname(&u);
    return u.release;
}

// What every complete installation of the sample package leaves behind.
void expectSampleInstalled(const Sandbox &sb, const std::string &app) {
    EXPECT_EQ(sandboxType(sb, app), 'd');
    EXPECT_EQ(sandboxMode(sb, app + "/osrosxxtty"), 04755);
    EXPECT_EQ(sandboxMode(sb, app + "/qsf"), 04755);
    EXPECT_EQ(sandboxMode(sb, app + "/osqadmin"), 0755);
    EXPECT_EQ(sandboxMode(sb, app + "/logs"), 0777);
    EXPECT_EQ(sandboxMode(sb, app + "/logs/queue.log"), 0666);
    EXPECT_EQ(sandboxMode(sb, app + "/spool"), 0775);
    EXPECT_EQ(sandboxRead(sb, app + "/README"),
              "Zarvo print services osxx, version 4.30.18 (sample package).\n"
              "Installed by setup from the bundled sample distribution.\n");
    EXPECT_EQ(sandboxMode(sb, app + "/README"), 0644);
    EXPECT_EQ(sandboxType(sb, app + "/README.tmpl"), 0);
    EXPECT_EQ(sandboxType(sb, app + "/fonts/SampleSans.afm"), 'f');
    EXPECT_EQ(sandboxType(sb, app + "/selinux/SHXPatchSELinuxPolicy"), 'f');
    EXPECT_EQ(sandboxType(sb, "/usr/share/doc/zarvo-osxx/index.txt"), 'f');
    EXPECT_EQ(sandboxType(sb, app + "/modern.conf"), 'f');
    EXPECT_EQ(sandboxType(sb, app + "/chained.conf"), 'f');
    EXPECT_EQ(sandboxType(sb, app + "/legacy.conf"), 0);
    EXPECT_EQ(sandboxType(sb, app + "/extra.dat"), 'f');
    EXPECT_EQ(sandboxType(sb, app + "/notes.txt"), 'f');
    EXPECT_EQ(sandboxType(sb, app + "/no-such-file"), 0);
    EXPECT_EQ(sandboxReadLink(sb, "/usr/bin/osprint"), app + "/osprint");
    std::string bat = sandboxRead(sb, "/usr/bin/zqsf");
    EXPECT_TRUE(has(bat, "#!/bin/sh\n")) << bat;
    EXPECT_TRUE(has(bat, "exec " + app + "/qsf $*\n")) << bat;
    EXPECT_EQ(sandboxMode(sb, "/usr/bin/zqsf"), 0755);
    EXPECT_EQ(sandboxRead(sb, app + "/.os_cfg"), " BSD ");
    for (const char *s : {"ZarvoPrintosxx", "v4DriverScript", "ZarvoQSF"}) {
        std::string text = sandboxRead(sb, app + "/" + s);
        EXPECT_TRUE(has(text, "\nToolPath=\"" + app + "\"\n")) << s;
        EXPECT_EQ(sandboxMode(sb, app + "/" + s), 0755) << s;
    }
    // The clean-up ran the queue tool and removed the work area.
    EXPECT_EQ(sandboxRead(sb, app + "/osqadmin.calls"),
              "osqadmin -upgrade (in /)\nosqadmin -clean (in /)\n");
    EXPECT_EQ(sandboxType(sb, "/tmp/ZarvoInstall"), 0);
    std::string log = sandboxRead(sb, "/tmp/setup.log");
    EXPECT_TRUE(has(log, "pkg/pkg.list")) << log; // tar's listing
    EXPECT_TRUE(has(log, "cp -p")) << log;
    EXPECT_EQ(sandboxType(sb, "/tmp/setup.tmp"), 0);
}

TEST(Install, FreshUnderUsr) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.out, "Agree (y) / Disagree (n)?")) << sb.out;
    expectSampleInstalled(sb, kApp);
    EXPECT_EQ(sandboxMode(sb, kApp), 0755);
    EXPECT_EQ(sandboxMode(sb, "/usr/Zarvo"), 0755);
    EXPECT_EQ(sandboxMode(sb, "/var/spool/Zarvo"), 0775);
    EXPECT_EQ(sandboxMode(sb, "/var/spool/Zarvo/osxx/__osa_download__"), 0777);
    EXPECT_EQ(sandboxRead(sb, kApp + "/selinux/SHXPatchSELinuxPolicy.calls"),
              "SELinux policy patched\n");
    // Nothing outside the sandbox changed, and nothing of the sed edits stayed.
    for (const std::string &c : sandboxChanges(sb))
        EXPECT_NE(c[0], '-') << c;
}

TEST(Install, FreshUnderOptLinksTheWellKnownName) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    install(sb, d, {"install", "/opt"});
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    expectSampleInstalled(sb, "/opt/Zarvo/osxx");
    EXPECT_EQ(sandboxReadLink(sb, kApp), "/opt/Zarvo/osxx");
    EXPECT_EQ(sandboxMode(sb, "/usr/Zarvo"), 0775);
    EXPECT_EQ(sandboxMode(sb, "/opt/Zarvo"), 0755);
    EXPECT_EQ(sandboxMode(sb, "/opt/Zarvo/osxx"), 0775);
    // The SELinux script is always reached through the well-known link.
    EXPECT_EQ(sandboxRead(sb, "/opt/Zarvo/osxx/selinux/SHXPatchSELinuxPolicy.calls"),
              "SELinux policy patched\n");
}

// A package list that copies a placeholder over the interface script shows
// the order: a fresh install writes the scripts first (the copy wins), an
// upgrade runs the list first (the generated script wins).
const std::string kOrderList = "c ZarvoPrintosxx\nc osqadmin mode 755\n";
void placeholder(const std::string &pkg) {
    writeFile(pkg + "/ZarvoPrintosxx", "placeholder\n");
}

TEST(Install, FreshWritesScriptsBeforeThePackageList) {
    NEED_SANDBOX();
    Dist d(kOrderList, "", placeholder);
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_EQ(sandboxRead(sb, kApp + "/ZarvoPrintosxx"), "placeholder\n");
}

TEST(Install, UpgradeInPlaceRunsThePackageListFirst) {
    NEED_SANDBOX();
    Dist d(kOrderList, "", placeholder);
    Sandbox sb;
    sandboxMkdir(sb, kApp);
    sandboxWrite(sb, kApp + "/old.conf", "kept");
    sandboxWrite(sb, kApp + "/.os_cfg", " V5 ");
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    std::string script = sandboxRead(sb, kApp + "/ZarvoPrintosxx");
    EXPECT_TRUE(has(script, "ToolPath=\"/usr/Zarvo/osxx\"")) << script;
    EXPECT_EQ(sandboxRead(sb, kApp + "/old.conf"), "kept");
    EXPECT_EQ(sandboxRead(sb, kApp + "/.os_cfg"), " BSD ");
    // No fresh-install steps: no spool directories, no SELinux script.
    EXPECT_EQ(sandboxType(sb, "/var/spool/Zarvo"), 0);
    EXPECT_TRUE(has(sandboxCalls(sb), "ps -ace")) << sandboxCalls(sb);
}

// The commands a run logged, in order, each without the shell prefix and the
// directory of its command ("cp -p /dist/disks /tmp/ZarvoInstall"); other
// log lines (the commands' own output) are left out.
std::vector<std::string> loggedCommands(const std::string &log) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(pos, end - pos);
        pos = end + 1;
        size_t q = line.find(" -c \"/");
        if (line[0] != '/' || q == std::string::npos) continue;
        std::string cmd = line.substr(q + 4);
        size_t blank = cmd.find(' ');
        size_t slash = cmd.rfind('/', blank);
        out.push_back(cmd.substr(slash + 1));
    }
    return out;
}

// Standard output after the licence question: one dot per logged command and
// one per run of the queue tool, then the line end.
void expectOnlyProgressDots(const Sandbox &sb, size_t logged) {
    const std::string question = "Agree (y) / Disagree (n)? ";
    size_t at = sb.out.rfind(question);
    ASSERT_NE(at, std::string::npos) << sb.out;
    EXPECT_EQ(sb.out.substr(at + question.size()), std::string(logged + 2, '.') + "\n");
}

const std::string kSmallList = "c osqadmin mode 755\nc osrosxxtty\nc qsf\n";

// The commands that copy a two-piece distribution into the work area and unpack it, followed
// by rest.
std::vector<std::string> afterUnpacking(std::vector<std::string> rest) {
    std::vector<std::string> all = {
        "cp -p /dist/pkg_tar.1 /tmp/ZarvoInstall",
        "cp -p /dist/pkg_tar.2 /tmp/ZarvoInstall",
        "cp -p /dist/disks /tmp/ZarvoInstall",
        "cp -p /dist/isize /tmp/ZarvoInstall",
        "cp -p /dist/tsize /tmp/ZarvoInstall",
        "tar xvfp /tmp/ZarvoInstall/ZarvoLinuxi386Osxx.tar",
        "rm -rf /tmp/ZarvoInstall/ZarvoLinuxi386Osxx.tar",
    };
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

TEST(Install, FreshRunLogsItsCommandsInOrder) {
    NEED_SANDBOX();
    Dist d(kSmallList, "--pieces 2");
    Sandbox sb;
    install(sb, d, {"install", "/opt"});
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    std::string log = sandboxRead(sb, "/tmp/setup.log");
    EXPECT_EQ(log.rfind("initializing system\n", 0), 0u) << log;
    std::vector<std::string> want = afterUnpacking({
        "mkdir -p /opt/Zarvo/osxx",
        "chmod  775 /opt/Zarvo/osxx",
        "mkdir -p /usr/Zarvo",
        "chmod  775 /usr/Zarvo",
        "ln  -s /opt/Zarvo/osxx /usr/Zarvo/osxx",
        "mkdir -p /var/spool/Zarvo",
        "chmod  775 /var/spool/Zarvo",
        "mkdir -p /var/spool/Zarvo/osxx/__osa_download__",
        "chmod  777 /var/spool/Zarvo/osxx/__osa_download__",
        "cp -p /tmp/ZarvoInstall/pkg/osqadmin /opt/Zarvo/osxx",
        "chmod  755 /opt/Zarvo/osxx/osqadmin",
        "cp -p /tmp/ZarvoInstall/pkg/osrosxxtty /opt/Zarvo/osxx",
        "cp -p /tmp/ZarvoInstall/pkg/qsf /opt/Zarvo/osxx",
        "chmod  4755 /opt/Zarvo/osxx/osrosxxtty",
        "chmod  4755 /opt/Zarvo/osxx/qsf",
        "rm -rf  /tmp/ZarvoInstall",
    });
    std::vector<std::string> got = loggedCommands(log);
    EXPECT_EQ(got, want) << log;
    expectOnlyProgressDots(sb, got.size());
    EXPECT_EQ(sandboxMode(sb, "/opt/Zarvo"), 0755);
}

TEST(Install, UpgradeInPlaceLogsThePackageListFirstAndNoNewDirectories) {
    NEED_SANDBOX();
    Dist d(kSmallList, "--pieces 2");
    Sandbox sb;
    sandboxMkdir(sb, kApp);
    sandboxMkdir(sb, "/usr/Zarvo", 0700);
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    std::vector<std::string> want = afterUnpacking({
        "cp -p /tmp/ZarvoInstall/pkg/osqadmin /usr/Zarvo/osxx",
        "chmod  755 /usr/Zarvo/osxx/osqadmin",
        "cp -p /tmp/ZarvoInstall/pkg/osrosxxtty /usr/Zarvo/osxx",
        "cp -p /tmp/ZarvoInstall/pkg/qsf /usr/Zarvo/osxx",
        "chmod  4755 /usr/Zarvo/osxx/osrosxxtty",
        "chmod  4755 /usr/Zarvo/osxx/qsf",
        "rm -rf  /tmp/ZarvoInstall",
    });
    std::vector<std::string> got = loggedCommands(sandboxRead(sb, "/tmp/setup.log"));
    EXPECT_EQ(got, want) << sandboxRead(sb, "/tmp/setup.log");
    expectOnlyProgressDots(sb, got.size());
    // Both set-user-id programs and the maker directory get their final modes.
    EXPECT_EQ(sandboxMode(sb, kApp + "/osrosxxtty"), 04755);
    EXPECT_EQ(sandboxMode(sb, kApp + "/qsf"), 04755);
    EXPECT_EQ(sandboxMode(sb, "/usr/Zarvo"), 0755);
}

TEST(Install, MoveToANewBase) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    sandboxMkdir(sb, kApp);
    sandboxWrite(sb, kApp + "/old.conf", "moved");
    install(sb, d, {"install", "/opt"});
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_EQ(sandboxRead(sb, "/opt/Zarvo/osxx/old.conf"), "moved");
    EXPECT_EQ(sandboxReadLink(sb, kApp), "/opt/Zarvo/osxx");
    EXPECT_EQ(sandboxMode(sb, "/opt/Zarvo/osxx/qsf"), 04755);
}

TEST(Install, NotRootInstallsNothing) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    sandboxFake(sb, "whoami", "joe\n");
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.out, "joe is logged in\nYou must become root to run setup\n")) << sb.out;
    EXPECT_EQ(sandboxType(sb, "/usr/Zarvo"), 0);
    EXPECT_EQ(sandboxType(sb, "/tmp/ZarvoInstall"), 0);
}

TEST(Install, CheckpsQuitSkipsTheRestAndCleansUp) {
    NEED_SANDBOX();
    Dist d("c osqadmin mode 755\ncheckps ,osqadmin,\nc qsf\n");
    Sandbox sb;
    sandboxFake(sb, "ps", "4242 osqadmin\n");
    install(sb, d, {}, "y\n2\n");
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.out, "The following processes are running.")) << sb.out;
    EXPECT_TRUE(has(sb.out, "osqadmin ( 4242 )")) << sb.out;
    EXPECT_EQ(sandboxType(sb, kApp + "/osqadmin"), 'f');
    EXPECT_EQ(sandboxType(sb, kApp + "/qsf"), 0);
    EXPECT_EQ(sandboxType(sb, kApp + "/selinux"), 0);
    EXPECT_EQ(sandboxMode(sb, kApp + "/osqadmin"), 0755);
    EXPECT_EQ(sandboxType(sb, "/tmp/ZarvoInstall"), 0); // the clean-up ran
    EXPECT_EQ(sandboxRead(sb, kApp + "/osqadmin.calls"),
              "osqadmin -upgrade (in /)\nosqadmin -clean (in /)\n");
}

TEST(Install, MissingPackageListEndsWithStatusZero) {
    NEED_SANDBOX();
    Dist d("", "", [](const std::string &pkg) { unlink((pkg + "/pkg.list").c_str()); });
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.err, "ERROR: can't open file, /tmp/ZarvoInstall/pkg/pkg.list")) << sb.err;
}

TEST(Install, MissingDiskListEndsWithStatusOne) {
    NEED_SANDBOX();
    Dist d;
    unlink((d.path + "/disks").c_str());
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 1) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.err, "ERROR: can't open file, ZarvoInstall/disks\n")) << sb.err;
    EXPECT_EQ(sandboxType(sb, "/usr/Zarvo"), 0);
}

TEST(Install, CorruptArchiveEndsWithStatusOne) {
    NEED_SANDBOX();
    Dist d;
    writeFile(d.path + "/pkg_tar.2", "this is not a piece of a compressed archive\n");
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 1) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.out, "ERROR")) << sb.out;
    EXPECT_EQ(sandboxType(sb, "/usr/Zarvo"), 0);
    EXPECT_FALSE(sandboxRead(sb, "/tmp/setup.log").empty());
}

TEST(Install, FailingAttributeEndsWithStatusOne) {
    NEED_SANDBOX();
    Dist d("c osqadmin owner zzq-no-such-user\nc qsf\n");
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 1) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.out, "ERROR")) << sb.out;
    EXPECT_EQ(sandboxType(sb, kApp + "/osqadmin"), 'f');
    EXPECT_EQ(sandboxType(sb, kApp + "/qsf"), 0);
}

TEST(Install, UpperCaseMedium) {
    NEED_SANDBOX();
    Dist d("", "--upper --pieces 2");
    EXPECT_TRUE(pathExists(d.path + "/DISKS"));
    EXPECT_TRUE(pathExists(d.path + "/PKG_TAR.1"));
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    expectSampleInstalled(sb, kApp);
}

TEST(Install, VersionConditionsAgainstTheRunningRelease) {
    NEED_SANDBOX();
    std::string rel = release();
    std::string below = rel.substr(0, rel.size() - 1); // a proper prefix sorts first
    std::string above = rel + ".1";
    std::string list;
    const char *files[] = {"lt-above", "lt-equal", "le-equal", "eq-equal", "eq-below",
                           "gt-below", "gt-above", "ge-equal", "ge-above", "chain"};
    list += "v < " + above + " c lt-above\n";
    list += "v < " + rel + " c lt-equal\n";
    list += "v <= " + rel + " c le-equal\n";
    list += "v = " + rel + " c eq-equal\n";
    list += "v = " + below + " c eq-below\n";
    list += "v > " + below + " c gt-below\n";
    list += "v > " + above + " c gt-above\n";
    list += "v >= " + rel + " c ge-equal\n";
    list += "v >= " + above + " c ge-above\n";
    list += "v > " + below + " v < " + above + " c chain mode 600\n";
    Dist d(list, "", [&](const std::string &pkg) {
        for (const char *f : files)
            writeFile(pkg + "/" + f, f);
    });
    Sandbox sb;
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    for (const char *f : {"lt-above", "le-equal", "eq-equal", "gt-below", "ge-equal", "chain"})
        EXPECT_EQ(sandboxType(sb, kApp + "/" + f), 'f') << f;
    for (const char *f : {"lt-equal", "eq-below", "gt-above", "ge-above"})
        EXPECT_EQ(sandboxType(sb, kApp + "/" + f), 0) << f;
    EXPECT_EQ(sandboxMode(sb, kApp + "/chain"), 0600);
}

TEST(Install, PlantedLinksInTmpAreNotFollowed) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    sandboxWrite(sb, "/etc/zarvo-victim", "precious\n");
    sandboxMkdir(sb, "/opt/victim-dir");
    sandboxWrite(sb, "/opt/victim-dir/keep", "keep\n");
    sandboxSymlink(sb, "/tmp/setup.log", "/etc/zarvo-victim");
    sandboxSymlink(sb, "/tmp/ZarvoInstall", "/opt/victim-dir");
    install(sb, d);
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_EQ(sandboxRead(sb, "/etc/zarvo-victim"), "precious\n");
    EXPECT_EQ(sandboxRead(sb, "/opt/victim-dir/keep"), "keep\n");
    EXPECT_EQ(sandboxType(sb, "/tmp/setup.log"), 'f');
    expectSampleInstalled(sb, kApp);
}

// The command-line options: help before anything, the unattended install,
// and checking or listing a distribution without installing it.

int count(const std::string &text, const std::string &part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

// Entries of the sandbox's /tmp after the run, sorted ("" when empty).
std::string tmpEntries(const Sandbox &sb) {
    std::string cmd = "ls -A " + shQuote(sandboxHostPath(sb, "/tmp"));
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) return "?";
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr)
        out += buf;
    pclose(p);
    return out;
}

// A run that ended before the agreement and left nothing anywhere.
void expectNothingWritten(const Sandbox &sb) {
    EXPECT_FALSE(has(sb.out, "Agree (y)")) << sb.out;
    EXPECT_EQ(tmpEntries(sb), "");
    EXPECT_EQ(sandboxChanges(sb), std::vector<std::string>{});
}

TEST(Options, HelpComesBeforeTheAgreementAndWritesNothing) {
    NEED_SANDBOX();
    Dist d;
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--help"}, {"/work", "install", "/opt", "-h", "-v"}}) {
        Sandbox sb;
        install(sb, d, args, "");
        EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
        EXPECT_EQ(sb.out.rfind("Usage: setup [OPTION]...", 0), 0u) << sb.out;
        for (const char *option : {"--accept-licence", "--check", "--list", "-v", "--help"})
            EXPECT_TRUE(has(sb.out, option)) << option;
        EXPECT_EQ(sb.err, "");
        expectNothingWritten(sb);
        EXPECT_EQ(sandboxType(sb, "/work"), 0);
    }
}

// The log without the line the option adds, and with the sed edits'
// temporary names (mkstemp's) made equal.
std::string comparableLog(std::string log) {
    const std::string line = "licence agreement accepted by the option --accept-licence\n";
    size_t at = log.find(line);
    if (at != std::string::npos) log.erase(at, line.size());
    return std::regex_replace(log, std::regex("/tmp/setup[A-Za-z0-9]{6};"), "/tmp/setupXXXXXX;");
}

TEST(Options, UnattendedInstallIsTheInteractiveOne) {
    NEED_SANDBOX();
    Dist d;
    for (std::string base : {"/usr", "/opt"}) {
        std::vector<std::string> args;
        if (base != "/usr") args = {"install", base};
        Sandbox typed, unattended;
        install(typed, d, args);
        args.insert(args.begin() + args.size() / 2, "--accept-licence");
        install(unattended, d, args, "");
        EXPECT_EQ(unattended.status, 0) << unattended.out << unattended.err;
        EXPECT_TRUE(has(unattended.out, "Agree (y) / Disagree (n)? y\n")) << unattended.out;
        expectSampleInstalled(unattended, base + "/Zarvo/osxx");
        EXPECT_EQ(sandboxChanges(unattended), sandboxChanges(typed)) << base;
        std::string log = sandboxRead(unattended, "/tmp/setup.log");
        EXPECT_EQ(log.find("initializing system\nlicence agreement accepted by the option "
                           "--accept-licence\n"),
                  0u)
            << log;
        EXPECT_EQ(comparableLog(log), comparableLog(sandboxRead(typed, "/tmp/setup.log"))) << base;
    }
}

TEST(Options, UnattendedStopsAtTheEarlierDaemonQuestion) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    sandboxWrite(sb, kApp + "/OstrelD", "old daemon\n", 0755);
    install(sb, d, {"--accept-license"}, "");
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    EXPECT_TRUE(has(sb.out, "Do You want to continue with the installation? [yn] \n")) << sb.out;
    EXPECT_EQ(sandboxType(sb, kApp + "/qsf"), 0);
    EXPECT_EQ(sandboxType(sb, "/var/spool/Zarvo"), 0);
    EXPECT_EQ(sandboxRead(sb, kApp + "/OstrelD"), "old daemon\n");
}

// Bytes of a distribution file, changed in place.
void rewrite(const std::string &path, const std::function<void(std::string &)> &change) {
    std::string bytes = readFile(path);
    change(bytes);
    writeFile(path, bytes);
}

TEST(Options, CheckFindsEachKindOfDamage) {
    NEED_SANDBOX();
    struct {
        const char *what;
        std::function<void(const std::string &dist)> damage;
        const char *line; // the check's line ("" for a good distribution)
    } cases[] = {
        {"good", nullptr, ""},
        {"missing piece", [](const std::string &p) { unlink((p + "/pkg_tar.2").c_str()); },
         "file pkg_tar.2: missing\n"},
        {"truncated piece",
         [](const std::string &p) {
             rewrite(p + "/pkg_tar.3", [](std::string &b) { b.resize(b.size() / 2); });
         },
         "archive decompresses: no, unexpected end of file\n"},
        {"corrupted byte",
         [](const std::string &p) {
             rewrite(p + "/pkg_tar.2", [](std::string &b) { b[b.size() / 2] ^= 0x55; });
         },
         "archive decompresses: no, "}, // crc error or format violated, as the byte falls
        {"list without itself",
         [](const std::string &p) {
             writeFile(p + "/disks", "pkg_tar.1 pkg_tar.2 pkg_tar.3\nisize tsize\nend_of_list\n");
         },
         "disk list names itself: no, disks is not listed\n"},
        {"name with a blank",
         [](const std::string &p) {
             writeFile(p + "/disks",
                       "pkg_tar.1\tpkg_tar.2 pkg_tar.3\ndisks isize tsize\nend_of_list\n");
         },
         "file pkg_tar.1\tpkg_tar.2: refused, the name contains blanks or shell metacharacters"},
        {"name with a command",
         [](const std::string &p) {
             writeFile(p + "/disks", "pkg_tar.1 pkg_tar.2 pkg_tar.3 $(touch${IFS}/tmp/x)\n"
                                     "disks isize tsize\nend_of_list\n");
         },
         "file $(touch${IFS}/tmp/x): refused"},
        {"size without a number", [](const std::string &p) { writeFile(p + "/tsize", "lots\n"); },
         "size file tsize: does not hold a number\n"},
    };
    for (auto &c : cases) {
        Dist d;
        if (c.damage) c.damage(d.path);
        Sandbox sb;
        install(sb, d, {"--check"}, "");
        bool good = c.line[0] == '\0';
        EXPECT_EQ(sb.status, good ? 0 : 1) << c.what << "\n" << sb.out << sb.err;
        EXPECT_TRUE(has(sb.out, c.line)) << c.what << "\n" << sb.out;
        std::string last = good ? "\ndistribution OK\n" : "\ndistribution damaged\n";
        EXPECT_EQ(sb.out.substr(sb.out.size() - std::min(sb.out.size(), last.size())), last)
            << c.what;
        if (good) {
            EXPECT_EQ(count(sb.out, ": ok"), 13) << sb.out;
        }
        expectNothingWritten(sb);
    }
}

TEST(Options, CheckInterruptedLeavesNothing) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    // A decompressor that has setup terminated while it runs.
    sandboxWrite(sb, "/usr/sbin/zcat", "#!/bin/sh\nkill -TERM $PPID\nsleep 10\n", 0755);
    install(sb, d, {"--check"}, "");
    EXPECT_EQ(sb.status, 128 + SIGTERM) << sb.out << sb.err;
    EXPECT_EQ(tmpEntries(sb), "");
}

TEST(Options, ListShowsTheArchiveAndTheNumberedPackageList) {
    NEED_SANDBOX();
    Dist d;
    Sandbox sb;
    install(sb, d, {"--list"}, "");
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
    std::string numbered;
    std::string list = readFile(kSample + "/pkg/pkg.list");
    int no = 0;
    for (size_t pos = 0; pos < list.size(); pos = list.find('\n', pos) + 1) {
        char head[16];
        snprintf(head, sizeof head, "%6d\t", ++no);
        numbered += head + list.substr(pos, list.find('\n', pos) - pos) + "\n";
    }
    size_t blank = sb.out.find("\n\n");
    ASSERT_NE(blank, std::string::npos) << sb.out;
    EXPECT_EQ(sb.out.substr(blank + 2), numbered);
    std::string files = sb.out.substr(0, blank + 1);
    EXPECT_EQ(files.rfind("pkg/\n", 0), 0u) << files;
    for (const char *f : {"\npkg/pkg.list\n", "\npkg/osqadmin\n", "\npkg/fonts/SampleSans.afm\n"})
        EXPECT_TRUE(has(files, f)) << f;
    EXPECT_EQ(count(files, "\n"), count(files, "\npkg/") + 1);
    expectNothingWritten(sb);

    unlink((d.path + "/isize").c_str());
    Sandbox damaged;
    install(damaged, d, {"--list"}, "");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.out, "");
    EXPECT_EQ(damaged.err, "setup: distribution damaged: file isize: missing\n");
    expectNothingWritten(damaged);
}

} // namespace
