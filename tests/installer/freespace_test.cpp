// Free-space check against fake df/du output, inside a sandbox.
#include "installer/installer.h"
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Case {
    const char *name;
    const char *isize, *tsize;      // size files (null: missing)
    const char *df, *du;            // fake knobs: "MOUNT AVAIL" and "PATH SIZE" lines
    std::vector<const char *> dirs; // directories made before the check
    const char *work, *target;
    int status;                  // kForkReturned when the check lets the run go on
    const char *says;            // expected part of the output ("" = no output)
    const char *lang = nullptr;  // LANG for the run
    const char *calls = nullptr; // df/du calls in order (null: not checked)
    bool whole = false;          // the output is exactly `says`
};

const char *const kReturns = "";

// clang-format off
const Case kCases[] = {
    {"separate file systems, exactly enough work space", "1000\n", "500\n", "/ 100000\n/tmp 540\n",
     "", {"/opt"}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns},
    {"separate file systems, work area short", "1000", "500", "/ 100000\n/tmp 539\n", "",
     {"/opt"}, "/tmp/ZarvoInstall", "/opt", 0,
     "There isn't enough space in /tmp/ZarvoInstall to perform the installation activities. "
     "The temporary work area should be at least 5.400000e+02 bytes."},
    {"separate file systems, install area short", "1000", "500", "/ 1039\n/tmp 100000\n", "",
     {"/opt"}, "/tmp/ZarvoInstall", "/opt", 0,
     "There isn't enough space in /opt to perform the installation activities. The install "
     "area should be at least 1.040000e+03 bytes."},
    {"separate file systems, install area exactly enough", "1000", "500", "/ 1040\n/tmp 540\n", "",
     {"/opt"}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns},
    {"one file system short by 80", "6000", "4000", "/ 10000\n", "", {}, "/tmp/ZarvoInstall",
     "/opt", 0,
     "There isn't enough space to perform the installation activities. As you are using a working "
     "directory, /tmp/ZarvoInstall on the same partition as the install directory you have "
     "selected, /opt this install requires 1.008000e+04 bytes free."},
    {"one file system, exactly enough", "6000", "4000", "/ 10080\n", "", {}, "/tmp/ZarvoInstall",
     "/opt", kForkReturned, kReturns},
    {"existing work area counts as free", "1000", "500", "/ 100000\n/tmp 440\n",
     "/tmp/ZarvoInstall 100\n",
     {"/tmp/ZarvoInstall"}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns},
    {"existing work area still too small", "1000", "500", "/ 100000\n/tmp 439\n",
     "/tmp/ZarvoInstall 100\n",
     {"/tmp/ZarvoInstall"}, "/tmp/ZarvoInstall", "/opt", 0, "at least 5.400000e+02 bytes"},
    {"upgrade in place: application directory counts, no probe", "1000", "500",
     "/ 100000\n/tmp 100000\n/opt 0\n", "/opt/Zarvo/osxx 1040\n",
     {"/opt/Zarvo/osxx"}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns},
    {"upgrade in place, install query fails: message 55", "1000", "500",
     "/ 100000\n/tmp 100000\n/opt -\n", "/opt/Zarvo/osxx 1039\n",
     {"/opt/Zarvo/osxx"}, "/tmp/ZarvoInstall", "/opt", 0,
     "The install area should be at least 1.040000e+03 bytes."},
    {"maker directory probed and full", "1000", "500", "/ 100000\n/tmp 100000\n/opt 17\n", "",
     {"/opt/Zarvo"}, "/tmp/ZarvoInstall", "/opt", 0,
     "There isn't enough space in /opt/Zarvo to perform the installation activities. Its file "
     "system is full."},
    {"maker directory probed with 18 free, then too small", "1000", "500",
     "/ 100000\n/tmp 100000\n/opt 18\n", "",
     {"/opt/Zarvo"}, "/tmp/ZarvoInstall", "/opt", 0, "There isn't enough space in /opt to perform"},
    {"missing target: the root is probed and full", "1000", "500", "/ 17\n/tmp 100000\n", "", {},
     "/tmp/ZarvoInstall", "/newdisk/pkg", 0, "There isn't enough space in / to perform"},
    {"missing target: the root's space is used", "1000", "500",
     "/ 100000\n/tmp 100000\n/newdisk 0\n", "",
     {"/newdisk"}, "/tmp/ZarvoInstall", "/newdisk/pkg", kForkReturned, kReturns},
    {"work area query fails: no further test", "1000", "500", "/ 0\n/tmp none\n", "", {},
     "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns},
    {"missing isize", nullptr, "500", "/ 100000\n", "", {}, "/tmp/ZarvoInstall", "/opt", 0,
     "Could not determine how much space needed for install, missing isize.\n"},
    {"missing tsize", "1000", nullptr, "/ 100000\n", "", {}, "/tmp/ZarvoInstall", "/opt", 0,
     "Could not determine how much space needed for install, missing isize.\n"},
    {"size text that is no number counts as 0", "abc", "x1", "/ 100000\n/tmp 39\n", "", {},
     "/tmp/ZarvoInstall", "/opt", 0, "at least 4.000000e+01 bytes"},
    {"full report in German", "1000", "500", "/ 17\n/tmp 100000\n", "", {}, "/tmp/ZarvoInstall",
     "/newdisk/pkg", 0, "In / ist nicht genügend Platz", "ge_GE"},
    // Which file systems are asked, and how often, for each layout.
    {"two file systems, nothing installed: install area asked, then probed", "1000", "500",
     "/ 100000\n/tmp 100000\n", "", {}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns,
     nullptr, "df /tmp\ndf /opt\ndf /opt\n"},
    {"one file system, nothing installed: asked again before the sum", "1000", "500", "/ 100000\n",
     "", {}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns, nullptr,
     "df /tmp\ndf /opt\ndf /opt\ndf /opt\n"},
    {"missing work area and parents: nearest existing directory asked", "1000", "500",
     "/ 100000\n/tmp 100000\n", "", {}, "/tmp/a/b/ZarvoInstall", "/newdisk/pkg", kForkReturned,
     kReturns, nullptr, "df /tmp\ndf /\ndf /\n"},
    {"maker directory without application directory", "1000", "500", "/ 100000\n/tmp 100000\n",
     "", {"/opt/Zarvo"}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns, nullptr,
     "df /tmp\ndf /opt/Zarvo\ndf /opt/Zarvo\n"},
    {"existing work area, two file systems", "1000", "500", "/ 100000\n/tmp 100000\n",
     "/tmp/ZarvoInstall 3\n", {"/tmp/ZarvoInstall"}, "/tmp/ZarvoInstall", "/opt", kForkReturned,
     kReturns, nullptr, "df /tmp/ZarvoInstall\ndu -s /tmp/ZarvoInstall\ndf /opt\ndf /opt\n"},
    {"upgrade in place, two file systems: no probe, no second query", "1000", "500",
     "/ 100000\n/tmp 100000\n", "/opt/Zarvo/osxx 3\n", {"/opt/Zarvo/osxx"}, "/tmp/ZarvoInstall",
     "/opt", kForkReturned, kReturns, nullptr,
     "df /tmp\ndf /opt/Zarvo/osxx\ndu -s /opt/Zarvo/osxx\n"},
    {"work area query without an avail column: nothing more asked", "1000", "500",
     "/ 100000\n/tmp -\n", "", {}, "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns, nullptr,
     "df /tmp\n"},
    {"missing size file: nothing asked", nullptr, "500", "/ 100000\n", "", {}, "/tmp/ZarvoInstall",
     "/opt", 0, "Could not determine how much space needed for install, missing isize.\n", nullptr,
     "", true},
    // One file system with both replaced directories: the free space counted
    // once plus what each directory gives back (1000 + 300 + 500).
    {"one file system, both directories replaced, exactly enough", "1000", "720", "/ 1000\n",
     "/tmp/ZarvoInstall 300\n/opt/Zarvo/osxx 500\n", {"/tmp/ZarvoInstall", "/opt/Zarvo/osxx"},
     "/tmp/ZarvoInstall", "/opt", kForkReturned, kReturns, nullptr,
     "df /tmp/ZarvoInstall\ndu -s /tmp/ZarvoInstall\ndf /opt/Zarvo/osxx\n"
     "du -s /opt/Zarvo/osxx\ndf /opt/Zarvo/osxx\n"},
    {"one file system, both directories replaced, one short", "1000", "721", "/ 1000\n",
     "/tmp/ZarvoInstall 300\n/opt/Zarvo/osxx 500\n", {"/tmp/ZarvoInstall", "/opt/Zarvo/osxx"},
     "/tmp/ZarvoInstall", "/opt", 0,
     "There isn't enough space to perform the installation activities. As you are using a working "
     "directory, /tmp/ZarvoInstall on the same partition as the install directory you have "
     "selected, /opt this install requires 1.801000e+03 bytes free. Please re-run the install "
     "specifing a different location for a working directory or install directory. Please see "
     "the readme if you need help with the syntax.", nullptr, nullptr, true},
    {"one file system, only the work area replaced", "1000", "500", "/ 1480\n",
     "/tmp/ZarvoInstall 100\n", {"/tmp/ZarvoInstall"}, "/tmp/ZarvoInstall", "/opt",
     kForkReturned, kReturns},
    {"one file system, only the work area replaced, one short", "1000", "501", "/ 1480\n",
     "/tmp/ZarvoInstall 100\n", {"/tmp/ZarvoInstall"}, "/tmp/ZarvoInstall", "/opt", 0,
     "this install requires 1.581000e+03 bytes free."},
    {"work area short, whole message", "1000", "500", "/ 100000\n/tmp 539.5\n", "", {},
     "/tmp/ZarvoInstall", "/opt", 0,
     "There isn't enough space in /tmp/ZarvoInstall to perform the installation activities. The "
     "temporary work area should be at least 5.400000e+02 bytes. Restart the installation "
     "procedure using a work area that has enough space. \nie: 1. Use /new_work_area_path in "
     "place of /tmp\n    2. Run `setup /new_work_area_path`\n", nullptr, nullptr, true},
    {"both areas short: the work area is reported", "1000", "500", "/ 20\n/tmp 10\n", "",
     {"/opt/Zarvo"}, "/tmp/ZarvoInstall", "/opt", 0, "The temporary work area should be"},
    {"fractional sizes keep their fraction", "1000.25\n", "1e3", "/ 1040\n/tmp 100000\n", "", {},
     "/tmp/ZarvoInstall", "/opt", 0, "install area should be at least 1.040250e+03 bytes"},
    {"probe query fails: reported full before the install area", "1000", "500",
     "/ 100000\n/tmp 100000\n/opt -\n", "", {"/opt/Zarvo"}, "/tmp/ZarvoInstall", "/opt", 0,
     "There isn't enough space in /opt/Zarvo to perform the installation activities. Its file "
     "system is full. Restart the installation procedure using an install area that has enough "
     "space. \nie: Run 'setup install /new_install_path'\n", nullptr,
     "df /tmp\ndf /opt/Zarvo\ndf /opt/Zarvo\n", true},
};
// clang-format on

void runCase(const Case &c) {
    std::error_code ec;
    for (const char *d : {"/tmp/ZarvoInstall", "/opt/Zarvo", "/newdisk", "/tmp/dist"})
        fs::remove_all(d, ec);
    fs::create_directories("/tmp/dist");
    if (c.isize) writeFile("/tmp/dist/isize", c.isize);
    if (c.tsize) writeFile("/tmp/dist/tsize", c.tsize);
    writeFile("/.sandbox/df", c.df ? c.df : "");
    writeFile("/.sandbox/du", c.du ? c.du : "");
    for (const char *d : c.dirs)
        fs::create_directories(d);
    unlink("/.sandbox/calls");
    Forked r = sandboxFork([&] {
        if (c.lang) setenv("LANG", c.lang, 1);
        my_name = (char *)"setup";
        pPathToSetup = (char *)"/tmp/dist";
        InitSysCmdList();
        FreeSpaceForInstall((char *)c.work, (char *)c.target, (char *)"Zarvo");
    });
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out << r.err;
    if (c.whole) {
        EXPECT_EQ(r.out, c.says) << c.name;
    } else if (*c.says) {
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.name << "\n" << r.out;
    } else {
        EXPECT_EQ(r.out, "") << c.name;
    }
    if (c.calls) {
        std::ifstream in("/.sandbox/calls");
        std::string calls((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(calls, c.calls) << c.name;
    }
}

TEST(FreeSpaceForInstall, EveryBranch) {
    if (sandboxInside()) {
        for (const Case &c : kCases)
            runCase(c);
        return;
    }
    NEED_SANDBOX();
    sandboxSelfTest("FreeSpaceForInstall.EveryBranch");
}

// The probe of the maker directory and the root only when nothing is installed.
TEST(FreeSpaceForInstall, AsksDfAndDuForTheRightPaths) {
    if (sandboxInside()) {
        writeFile("/.sandbox/df", "/ 100000\n");
        writeFile("/.sandbox/du", "/opt/Zarvo/osxx 5\n/tmp/ZarvoInstall 7\n");
        fs::create_directories("/tmp/dist");
        writeFile("/tmp/dist/isize", "1");
        writeFile("/tmp/dist/tsize", "1");
        fs::create_directories("/opt/Zarvo/osxx");
        fs::create_directories("/tmp/ZarvoInstall");
        unlink("/.sandbox/calls");
        Forked r = sandboxFork([] {
            my_name = (char *)"setup";
            pPathToSetup = (char *)"/tmp/dist";
            InitSysCmdList();
            FreeSpaceForInstall((char *)"/tmp/ZarvoInstall", (char *)"/opt", (char *)"Zarvo");
        });
        EXPECT_EQ(r.status, kForkReturned) << r.out;
        std::ifstream in("/.sandbox/calls");
        std::string calls((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(calls, "df /tmp/ZarvoInstall\ndu -s /tmp/ZarvoInstall\n"
                         "df /opt/Zarvo/osxx\ndu -s /opt/Zarvo/osxx\n"
                         "df /opt/Zarvo/osxx\n");
        return;
    }
    NEED_SANDBOX();
    sandboxSelfTest("FreeSpaceForInstall.AsksDfAndDuForTheRightPaths");
}

} // namespace
