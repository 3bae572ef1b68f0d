// Whole installations of the sample distribution (sample/make-dist.sh) by the
// real setup program inside the sandbox: fresh installs, upgrade, move, the
// failure paths and their exit statuses, and what lands where.
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <functional>
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

} // namespace
