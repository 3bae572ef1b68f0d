// The writers that replace a file, run on a full and on a read-only file
// system: each must report the failure and leave the old file as it was,
// with no working file left beside it.
#include "tests/support/disk.h"
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"
#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Every path under dir (relative, sorted) but the filler's.
std::vector<std::string> Entries(const std::string &dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir, ec))
        if (e.path().filename() != ".fill")
            names.push_back(std::filesystem::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

// What a writer must do on a disk: end with this status and say this (on
// standard output or error; "" when its result says it all).
struct Expect {
    int status;
    const char *message;
};

// One writer: the file it replaces (made by seed in the disk's directory),
// how it is run there, and what it must do on a full and on a read-only disk.
struct Writer {
    const char *name;
    const char *file;
    std::function<void(const std::string &)> seed;
    std::function<Forked(const std::string &)> run;
    Expect full, readOnly;
};

struct Case {
    Disk disk;
    Writer writer;
};

std::string Describe(Disk d) {
    return d == Disk::Full ? "full" : "read-only";
}

const char *const kSettings = "0[3] 13 0\n1[office] 12 0\n";

struct SettingsMenu {
    MenuItem items[4] = {};
    Menu menu = {};
    SettingsMenu() {
        items[0].text = "Copies";
        items[0].kind = ITEM_INTEGER;
        items[1].text = "Queue";
        items[1].kind = ITEM_TEXT_ENTRY;
        items[2].text = "~x Exit";
        items[2].kind = ITEM_EXIT;
        menu.title = "Settings";
        menu.items = items;
        menu.flags = MENU_COMPACT | MENU_STORE_NAMED;
    }
};

// nlscat build dir/x.odb dir/x.txt, in a child.
Forked Nlscat(const std::string &dir) {
    std::string db = dir + "/x.odb", src = dir + "/x.txt";
    return sandboxFork([&] {
        execl(BINARY_DIR "/nlscat", "nlscat", "build", db.c_str(), src.c_str(), (char *)nullptr);
        _exit(127);
    });
}

std::vector<Writer> Writers() {
    return {
        {"typed database write-back",
         "db/t.odb",
         [](const std::string &dir) {
             pToolPath = const_cast<char *>(dir.c_str());
             makeDirs(dir + "/db");
             DbTHandle *h = DbTOpen("t", 0);
             DbmTPutRecord(h, "one", "1", 2);
             DbTClose(h);
         },
         [](const std::string &dir) {
             return sandboxFork([dir] {
                 pToolPath = const_cast<char *>(dir.c_str());
                 DbTHandle *h = DbTOpen("t", 0);
                 std::string big(20000, 'x');
                 char ok = DbmTPutRecord(h, "two", big.data(), (int)big.size());
                 DbTClose(h);
                 exit(ok ? 0 : 1);
             });
         },
         // The working copy is made with touch, whose failure ends the run.
         {1, "ERROR: Can't write to t"},
         {1, "ERROR: "}},
        {"text-file editing",
         "conf.txt",
         [](const std::string &dir) { writeFile(dir + "/conf.txt", "alpha\nbeta\n"); },
         [](const std::string &dir) {
             return sandboxFork([dir] {
                 std::string base = dir + "/conf";
                 exit(FileChange(base.data(), const_cast<char *>("txt"),
                                 const_cast<char *>("alpha"), const_cast<char *>("gamma")));
             });
         },
         {1, ""},
         {1, "can't open file"}},
        {"settings store",
         "queue",
         [](const std::string &dir) { writeFile(dir + "/queue", kSettings); },
         [](const std::string &dir) {
             std::string path = dir + "/queue";
             return sandboxFork(
                 [path] {
                     SettingsMenu m;
                     RunMenu(&m.menu, path.c_str(), 1);
                     exit(0);
                 },
                 "1 7\ns\n" + path + "\nx\n");
         },
         {0, "ERROR: can't write file"},
         {0, "ERROR: can't open file"}},
        {"nlscat build",
         "x.odb",
         [](const std::string &dir) {
             writeFile(dir + "/x.txt", "$set 1\n1 old\n");
             Nlscat(dir);
             writeFile(dir + "/x.txt", "$set 1\n1 new\n");
         },
         Nlscat,
         {1, "nlscat: can't write"},
         {1, "ERROR: "}},
    };
}

void PrintTo(const Case &c, std::ostream *os) {
    *os << c.writer.name << " on a " << Describe(c.disk) << " disk";
}

class DiskFaults : public testing::TestWithParam<Case> {};

TEST_P(DiskFaults, OldFileStaysAndTheErrorIsReported) {
    const Case &c = GetParam();
    ScratchDir scratch{"diskfaults"};
    std::string disk = scratch / "disk";
    std::string old;
    std::vector<std::string> before;
    RunOnDisk(
        disk, c.disk,
        [&] {
            c.writer.seed(disk);
            old = readFile(disk + "/" + c.writer.file);
            before = Entries(disk);
        },
        [&]() -> std::string {
            std::string what = std::string(c.writer.name) + " on a " + Describe(c.disk) + " disk: ";
            if (old.empty()) return what + "nothing was seeded";
            Forked f = c.writer.run(disk);
            const Expect &want = c.disk == Disk::Full ? c.writer.full : c.writer.readOnly;
            std::string said = f.out + f.err;
            if (f.status != want.status)
                return what + "status " + std::to_string(f.status) + "\n" + said;
            if (said.find(want.message) == std::string::npos) return what + "no report in: " + said;
            if (readFile(disk + "/" + c.writer.file) != old) return what + "the old file changed";
            if (Entries(disk) != before) return what + "a working file was left";
            return "";
        });
}

std::vector<Case> Cases() {
    std::vector<Case> all;
    for (Disk d : {Disk::Full, Disk::ReadOnly})
        for (const Writer &w : Writers())
            all.push_back({d, w});
    return all;
}

INSTANTIATE_TEST_SUITE_P(Writers, DiskFaults, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case> &i) {
                             std::string n = Describe(i.param.disk) + "_" + i.param.writer.name;
                             for (char &ch : n)
                                 if (!isalnum((unsigned char)ch)) ch = '_';
                             return n;
                         });

} // namespace
