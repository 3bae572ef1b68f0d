// Solaris package upgrade, run inside the sandbox with a fake installf that
// records its calls.
#include "installer/installer.h"
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kInstallf = "#!/bin/sh\necho \"$*\" >> /tmp/installf.calls\n";

const char *const kPkgmap = ": 1 2048\n"
                            "1 d none bin 0755 root bin\n"
                            "1 f none bin/tool 0755 root bin 1234 5678 90\n"
                            "1 i pkginfo 100 200 300\n"
                            "1 f none short 0644 root\n"
                            "1 f conf /etc/zarvo.conf 0644 root sys 10 20 30\n"
                            "1 f none bin/bad;touch${IFS}/tmp/owned 0644 root bin 1 2 3\n"
                            "1 f none lib/libz.so 0555 bin bin 1 2 3\n"
                            "1 f none bin/seven 0700 root bin\n"
                            "1 F none bin/upper 0700 root bin 1 2 3\n";

const char *const kPkginfo = "PKG=SPHVosxx\nNAME=Zarvo print services\nVERSION=4.20.3\n"
                             "VERSIONX=none\nNOTE=VERSION=abc\n";

// Lays out the installed package, the unpacked one in the work area and the
// fake installf; lib says whether <app dir>/lib is there already.
void seed(bool lib) {
    writeFile("/usr/sbin/installf", kInstallf, 0755);
    unlink("/tmp/installf.calls");
    writeFile("/tmp/pkgsrc/SPHVosxx/pkgmap", kPkgmap);
    writeFile("/tmp/ZarvoInstall/SPHVosxx/reloc/bin/tool", "new tool\n");
    writeFile("/tmp/ZarvoInstall/SPHVosxx/reloc/lib/libz.so", "new lib\n");
    writeFile("/tmp/ZarvoInstall/SPHVosxx/reloc/bin/seven", "seven\n");
    writeFile("/tmp/ZarvoInstall/SPHVosxx/reloc/bin/upper", "upper\n");
    writeFile("/tmp/ZarvoInstall/SPHVosxx/root/etc/zarvo.conf", "new conf\n");
    writeFile("/opt/Zarvo/bin/tool", "old tool\n");
    makeDirs("/opt/Zarvo/lib");
    makeDirs(lib ? "/opt/Zarvo/osxx/lib" : "/opt/Zarvo/osxx");
    writeFile("/var/sadm/pkg/SPHVosxx/pkginfo", kPkginfo);
    writeFile("/var/sadm/pkg/SPHVosxx/pkginfo.tmp", "stale\n");
}

// Runs the upgrade in a child with logging as given.
Forked upgrade(char log, const char *package = "SPHVosxx", const char *dir = "/tmp/pkgsrc") {
    return sandboxFork([=] {
        my_name = (char *)"setup";
        flUseLog = log;
        InitSysCmdList();
        pZarvoInstallDir = (char *)"/tmp/ZarvoInstall";
        pTargetInstallDir = (char *)"/opt";
        pAppDir = (char *)"/opt/Zarvo/osxx";
        exit(upgradeSolarisPackage(package, dir) == 1 ? kForkReturned : 3);
    });
}

// Runs the named test's inside half in a sandbox.
void runInside(const char *test) {
    NEED_SANDBOX();
    sandboxSelfTest(test);
}

TEST(UpgradeSolarisPackage, RegistersCopiesAndRewritesTheVersion) {
    if (!sandboxInside())
        return runInside("UpgradeSolarisPackage.RegistersCopiesAndRewritesTheVersion");
    seed(true);
    Forked r = upgrade(0);
    EXPECT_EQ(r.status, kForkReturned) << r.err;
    EXPECT_EQ(r.out, ".....") << "one dot per file and one for the version";
    EXPECT_EQ(readFile("/tmp/installf.calls"),
              "-c none SPHVosxx /opt/Zarvo/bin/tool f 0755 root bin\n"
              "-c conf SPHVosxx /etc/zarvo.conf f 0644 root sys\n"
              "-c none SPHVosxx /opt/Zarvo/lib/libz.so f 0555 bin bin\n"
              "-c none SPHVosxx /opt/Zarvo/bin/seven f 0700 root bin\n"
              "-f SPHVosxx\n");
    EXPECT_EQ(readFile("/opt/Zarvo/bin/tool"), "new tool\n");
    EXPECT_EQ(readFile("/opt/Zarvo/lib/libz.so"), "new lib\n");
    EXPECT_EQ(readFile("/opt/Zarvo/bin/seven"), "seven\n") << "seven fields are enough";
    EXPECT_FALSE(pathExists("/opt/Zarvo/bin/upper")) << "the type is matched exactly";
    EXPECT_EQ(readFile("/etc/zarvo.conf"), "new conf\n");
    EXPECT_FALSE(pathExists("/tmp/owned")) << "a pkgmap path reached the shell";
    EXPECT_FALSE(pathExists("/opt/Zarvo/bin/bad;touch${IFS}"));
    EXPECT_EQ(readFile("/var/sadm/pkg/SPHVosxx/pkginfo"),
              "PKG=SPHVosxx\nNAME=Zarvo print services\nVERSION=4.30.18\n"
              "VERSIONX=none\nNOTE=VERSION=abc\n");
    EXPECT_FALSE(pathExists("/var/sadm/pkg/SPHVosxx/pkginfo.tmp"));
    EXPECT_FALSE(pathExists("/opt/Zarvo/osxx/lib/gtk")) << "lib existed: no module directories";
}

TEST(UpgradeSolarisPackage, MakesTheModuleDirectoriesWhenLibIsMissing) {
    if (!sandboxInside())
        return runInside("UpgradeSolarisPackage.MakesTheModuleDirectoriesWhenLibIsMissing");
    seed(false);
    Forked r = upgrade(1);
    EXPECT_EQ(r.status, kForkReturned) << r.err;
    EXPECT_EQ(fileMode("/opt/Zarvo/osxx/lib"), 0755);
    for (const char *d :
         {"gtk/modules/2.2.0/engines", "gtk/modules/2.2.0/immodules", "gtk/modules/2.2.0/loaders",
          "gtk/modules/etc/gtk-2.0", "gtk/modules/etc/pango", "gtk/modules/include",
          "gtk/modules/modules", "gtk/modules/pango/1.2.0/modules"})
        EXPECT_TRUE(pathExists(std::string("/opt/Zarvo/osxx/lib/") + d)) << d;
    std::string log = readFile("/tmp/setup.log");
    size_t first = log.find("mkdir -p /opt/Zarvo/osxx/lib/gtk\n");
    size_t last = log.find("mkdir -p /opt/Zarvo/osxx/lib/gtk/modules/pango/1.2.0/modules");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(last, std::string::npos) << log;
    EXPECT_LT(first, last);
    EXPECT_NE(log.find("rm -f /var/sadm/pkg/SPHVosxx/pkginfo.tmp"), std::string::npos) << log;
    EXPECT_NE(log.find("mv -f /var/sadm/pkg/SPHVosxx/pkginfo.tmp /var/sadm/pkg/SPHVosxx/pkginfo"),
              std::string::npos)
        << log;
    EXPECT_EQ(readFile("/var/sadm/pkg/SPHVosxx/pkginfo"),
              "PKG=SPHVosxx\nNAME=Zarvo print services\nVERSION=4.30.18\n"
              "VERSIONX=none\nNOTE=VERSION=abc\n");
}

TEST(UpgradeSolarisPackage, MissingPkgmapAndUnsafeNames) {
    if (!sandboxInside()) return runInside("UpgradeSolarisPackage.MissingPkgmapAndUnsafeNames");
    seed(true);
    Forked r = upgrade(0, "SPHVosxx", "/tmp/nowhere");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("ERROR: can't open file, /tmp/nowhere/SPHVosxx/pkgmap"), std::string::npos)
        << r.err;
    r = upgrade(0, "SPHV;touch /tmp/owned");
    EXPECT_EQ(r.status, 3);
    r = upgrade(0, "..");
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(pathExists("/tmp/owned"));
    EXPECT_FALSE(pathExists("/tmp/installf.calls"));
    EXPECT_EQ(readFile("/var/sadm/pkg/SPHVosxx/pkginfo"), kPkginfo);
}

} // namespace
