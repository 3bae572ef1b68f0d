// Allocation failures injected into one representative operation of each
// module: the 1st, 2nd, 3rd ... allocation fails in turn (MemFailCountdown),
// each run in a child of its own, until the operation runs with no failure.
// Every run must end in a defined way: the operation's own failure result,
// or an error message and an exit status; never a signal, a sanitizer
// report or a half-written file in place of the old one.
#include "installer/installer.h"
#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"
#include "toolkit/toolkit.h"
#include "tools/nlscat/catalog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Exit statuses of a child whose operation returned: kReturned + its result
// (0-29), + kInjected when the injected failure had happened. Below 128, the
// statuses sandboxFork gives for signals.
constexpr int kReturned = 60;
constexpr int kInjected = 30;
// More allocations than any of the operations makes.
constexpr long kMaxCalls = 20000;

struct ChildRun {
    bool signalled = false;
    int status = -1;      // exit status
    bool injected = true; // the failure happened (so when the process ended early)
    bool returned = false;
    int result = 0; // the operation's result when it returned
    std::string err;
};

// Runs op in a child with allocation n failing (0: none), stdin from input.
ChildRun RunFailing(long n, const std::function<int()> &op, const std::string &input) {
    Forked f = sandboxFork(
        [&] {
            MemFailCountdown = n;
            int result = op();
            bool injected = n > 0 && MemFailCountdown == 0;
            fflush(nullptr);
            _exit(kReturned + (injected ? kInjected : 0) + result);
        },
        input);
    ChildRun run;
    run.status = f.status;
    run.err = f.err;
    run.signalled = f.status >= 128;
    if (f.status >= kReturned && f.status < kReturned + 2 * kInjected) {
        run.returned = true;
        run.injected = f.status >= kReturned + kInjected;
        run.result = f.status - kReturned - (run.injected ? kInjected : 0);
    }
    return run;
}

// One operation under test.
struct Operation {
    const char *name;
    std::function<void()> prepare; // in the parent, before every run
    std::function<int()> run;      // in the child; its result (0-29)
    std::string input;             // standard input of the child
    // Whether a returned result (with what was printed) is one the operation
    // may give; in the parent.
    std::function<bool(int result, const std::string &err)> accept;
    // What is wrong with the files after a run, "" for nothing; in the parent.
    // returned: the operation returned (a process that ended early may leave
    // a working file behind, never a changed old one).
    std::function<std::string(bool returned)> check;
};

// Fails the operation's allocations one by one; returns the result of the
// run that had no failure (-1 when there was none).
int FailInTurn(const Operation &op) {
    for (long n = 1; n <= kMaxCalls; n++) {
        if (op.prepare) op.prepare();
        ChildRun r = RunFailing(n, op.run, op.input);
        std::string at = std::string(op.name) + ", allocation " + std::to_string(n) + ": ";
        EXPECT_FALSE(r.signalled) << at << "ended by a signal\n" << r.err;
        EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << at << r.err;
        EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << at << r.err;
        if (r.returned) {
            EXPECT_TRUE(op.accept(r.result, r.err)) << at << "result " << r.result << "\n" << r.err;
        } else {
            EXPECT_GT(r.status, 0) << at << "status " << r.status;
            EXPECT_NE(r.err, "") << at << "ended with status " << r.status << " and no message";
        }
        if (op.check) {
            std::string wrong = op.check(r.returned);
            EXPECT_EQ(wrong, "") << at;
        }
        if (testing::Test::HasFailure()) return -1;
        if (!r.injected) {
            printf("%s: %ld allocations, each failed in turn\n", op.name, n - 1);
            return r.result;
        }
    }
    ADD_FAILURE() << op.name << ": still failing after " << kMaxCalls << " allocations";
    return -1;
}

bool Has(const std::string &text, const char *what) {
    return text.find(what) != std::string::npos;
}

// Names in dir that start with prefix.
std::vector<std::string> Named(const std::string &dir, const std::string &prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(dir, ec)) {
        std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
}

// Text of the file as it was, or as a clean run leaves it; else what it is.
std::string OldOrNew(const std::string &path, const std::string &old, const std::string &fresh) {
    std::string now = readFile(path);
    if (now == old || now == fresh) return "";
    return path + " is neither the old nor the new file (" + std::to_string(now.size()) + " bytes)";
}

// The settings menu: every kind that stores a value, and a sub-menu.
char kColours[] = "red,green,blue";
char kFinish[] = "staple,punch,fold";
struct SettingsMenu {
    MenuItem subItems[3] = {};
    MenuItem items[9] = {};
    Menu sub = {}, top = {};
    SettingsMenu() {
        subItems[0].text = "Speed";
        subItems[0].kind = ITEM_INTEGER;
        subItems[1].text = "Host";
        subItems[1].kind = ITEM_TEXT_ENTRY;
        sub.title = "More";
        sub.items = subItems;
        items[0].text = "Colour";
        items[0].kind = ITEM_PICK_ONE;
        items[0].choices = kColours;
        items[1].text = "Finishing";
        items[1].kind = ITEM_PICK_MANY;
        items[1].choices = kFinish;
        items[2].text = "Name";
        items[2].kind = ITEM_NAME;
        items[3].text = "Queue";
        items[3].kind = ITEM_TEXT_ENTRY;
        items[4].text = "Copies";
        items[4].kind = ITEM_INTEGER;
        items[5].text = "Margin";
        items[5].kind = ITEM_REAL;
        items[6].text = "More";
        items[6].kind = ITEM_SUBMENU;
        items[6].value.menu = &sub;
        items[6].default_value.menu = &sub;
        items[7].text = "~x Exit";
        items[7].kind = ITEM_EXIT;
        top.title = "Settings";
        top.items = items;
        top.flags = MENU_COMPACT | MENU_STORE_NAMED;
    }
};

const char *const kSettings = "0[2] 9 0\n2[lp1] 11 0\n3[office] 12 1\n4[3] 13 0\n5[1.500] 14 2\n"
                              "6{\n0[9] 13 0\n1[print] 12 0\n}\n";

const char *const kCatalogue = "$set 25\n1016 reading from standard input\n"
                               "1017 Leave %s?\n$key intro index.html\n";
const char *const kOldCatalogue = "$set 25\n1 old\n";

class MemoryFaults : public testing::Test {
  protected:
    ScratchDir dir{"memfaults"};
    void SetUp() override { ASSERT_EQ(MemFailCountdown, 0); }

    // What a clean run of op leaves at path (its files prepared first).
    std::string CleanResult(const Operation &op, const std::string &path) {
        op.prepare();
        ChildRun r = RunFailing(0, op.run, op.input);
        EXPECT_TRUE(r.returned && !r.injected) << op.name << " fails without injection\n" << r.err;
        return readFile(path);
    }
};

TEST_F(MemoryFaults, ParseAndRenderAHelpFile) {
    Operation op{"help",
                 nullptr,
                 [] {
                     char ok = HtmlHelp(SOURCE_DIR "/demo/help/queues.html", nullptr);
                     if (ok) TtyHelpBuildMenuItems();
                     return ok ? 1 : 0;
                 },
                 "",
                 [](int r, const std::string &err) {
                     return r == 1 || (r == 0 && (Has(err, "Error in reading HTML file") ||
                                                  Has(err, "Unable to allocate memory")));
                 },
                 nullptr};
    EXPECT_EQ(FailInTurn(op), 1);
}

TEST_F(MemoryFaults, LoadAndStoreASettingsFile) {
    std::string path = dir / "queue";
    Operation op{"settings",
                 [&] { writeFile(path, kSettings); },
                 [path] {
                     SettingsMenu m;
                     return (int)RunMenu(&m.top, path.c_str(), 1);
                 },
                 "s\n" + path + "\nx\n",
                 [](int r, const std::string &) { return r == 0; },
                 [&](bool) -> std::string {
                     std::string now = readFile(path);
                     // A store after a load that missed something writes other values,
                     // but always every line.
                     if (now != kSettings &&
                         std::count(now.begin(), now.end(), '\n') !=
                             std::count(kSettings, kSettings + strlen(kSettings), '\n'))
                         return "settings file cut short:\n" + now;
                     if (!Named(dir.path, ".settings").empty()) return "working file left";
                     return "";
                 }};
    EXPECT_EQ(CleanResult(op, path), kSettings) << "a store after a load writes what was read";
    EXPECT_EQ(FailInTurn(op), 0);
}

TEST_F(MemoryFaults, ChangeAndWriteBackATypedDatabase) {
    std::string db = dir / "db/t.odb";
    std::string old;
    {
        // The old database: what a clean build of two records writes.
        ChildRun r = RunFailing(
            0,
            [&] {
                pToolPath = const_cast<char *>(dir.path.c_str());
                makeDirs(dir / "db");
                DbTHandle *h = DbTOpen("t", 0);
                int ok = DbmTPutRecord(h, "k1", "one", 4) && DbmTPutRecord(h, "k2", "two", 4);
                DbTClose(h);
                return ok;
            },
            "");
        ASSERT_EQ(r.result, 1) << r.err;
        old = readFile(db);
    }
    Operation op{"database",
                 [&] { writeFile(db, old); },
                 [&] {
                     pToolPath = const_cast<char *>(dir.path.c_str());
                     DbTHandle *h = DbTOpen("t", 0);
                     if (h == nullptr) return 0;
                     int ok = DbmTPutRecord(h, "k3", "three", 6) && DbmTDeleteRecord(h, "k1");
                     DbTClose(h);
                     return ok;
                 },
                 "",
                 [](int r, const std::string &err) {
                     // A put or delete that fails says so by its result.
                     return r == 1 || (r == 0 && (err == "" || Has(err, "Can't write") ||
                                                  Has(err, "Unable to allocate memory")));
                 },
                 nullptr};
    std::string fresh = CleanResult(op, db);
    ASSERT_NE(fresh, old);
    op.check = [&, fresh](bool returned) -> std::string {
        if (returned && !Named(dir / "db", "t.odb_").empty()) return "working copy left";
        return OldOrNew(db, old, fresh);
    };
    EXPECT_EQ(FailInTurn(op), 1);
}

TEST_F(MemoryFaults, BuildAStringDatabase) {
    std::string db = dir / "x.odb", src = dir / "x.txt";
    writeFile(src, kCatalogue);
    std::string old;
    {
        writeFile(dir / "old.txt", kOldCatalogue);
        ChildRun r = RunFailing(
            0,
            [&] {
                std::vector<CatEntry> e;
                std::string err;
                return (int)(ReadCatalogFile(dir / "old.txt", e, err) &&
                             WriteCatalogDatabase(db, e, false));
            },
            "");
        ASSERT_EQ(r.result, 1) << r.err;
        old = readFile(db);
    }
    Operation op{
        "nlscat",
        [&] { writeFile(db, old); },
        [&] {
            std::vector<CatEntry> entries;
            std::string err;
            if (!ReadCatalogFile(src, entries, err) || !CheckCatalog(entries, err)) {
                fprintf(stderr, "nlscat: %s\n", err.c_str());
                return 0;
            }
            return WriteCatalogDatabase(db, entries, false) ? 1 : 0;
        },
        "",
        [](int r, const std::string &err) { return r == 1 || (r == 0 && Has(err, "nlscat: ")); },
        nullptr};
    std::string fresh = CleanResult(op, db);
    ASSERT_NE(fresh, old);
    op.check = [&, fresh](bool returned) -> std::string {
        if (returned && !Named(dir.path, "x.odb.").empty()) return "working copy left";
        return OldOrNew(db, old, fresh);
    };
    EXPECT_EQ(FailInTurn(op), 1);
}

TEST_F(MemoryFaults, ChooseALanguageAndFetchStrings) {
    Operation op{"strings",
                 nullptr,
                 [] {
                     pToolPath = const_cast<char *>(BINARY_DIR "/nls");
                     setenv("LANG", "de_DE.UTF-8", 1);
                     char *lang = GetDesiredNLSLang();
                     pDrvCoreDB = NlsOpenDB("CoreString", 0);
                     char *text = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1016);
                     char buf[NLSBUF_SIZE];
                     Nlssnprintf(buf, sizeof buf, pDrvCoreDB, 25, 1017, "x");
                     return lang != nullptr && text != nullptr ? 1 : 0;
                 },
                 "",
                 [](int r, const std::string &) { return r == 1; },
                 nullptr};
    EXPECT_EQ(FailInTurn(op), 1);
}

// The installer's package list on the sample package, inside the sandbox
// (it writes under /usr and /opt).
TEST_F(MemoryFaults, ProcessTheSamplePackageList) {
    if (!sandboxInside()) {
        if (const char *why = sandboxUnavailable()) GTEST_SKIP() << why;
        Sandbox sb;
        sb.timeout = 300;
        for (const auto &e : fs::recursive_directory_iterator(SOURCE_DIR "/sample/pkg")) {
            if (!e.is_regular_file()) continue;
            std::string rel = fs::relative(e.path(), SOURCE_DIR "/sample/pkg").string();
            sandboxWrite(sb, "/tmp/pkgseed/" + rel, readFile(e.path()),
                         (unsigned)fs::status(e.path()).permissions() & 0777);
        }
        ASSERT_TRUE(sandboxRunSelf(sb, "MemoryFaults.ProcessTheSamplePackageList"));
        EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
        size_t at = sb.out.find("pkglist: ");
        if (at != std::string::npos)
            printf("%s\n", sb.out.substr(at, sb.out.find('\n', at) - at).c_str());
        return;
    }
    const char *reset = "rm -rf /tmp/ZarvoInstall /opt/Zarvo /usr/bin/osprint"
                        " /usr/share/doc/zarvo-osxx /tmp/setup*.log;"
                        " mkdir -p /tmp/ZarvoInstall /opt/Zarvo/osxx;"
                        " cp -a /tmp/pkgseed /tmp/ZarvoInstall/pkg";
    Operation op{"pkglist",
                 [&] { ASSERT_EQ(system(reset), 0); },
                 [] {
                     my_name = const_cast<char *>("setup");
                     InitSysCmdList();
                     pZarvoInstallDir = const_cast<char *>("/tmp/ZarvoInstall");
                     pAppDir = const_cast<char *>("/opt/Zarvo/osxx");
                     return ProcessPkgList("pkg") == 0 ? 0 : 1;
                 },
                 "",
                 [](int, const std::string &) { return true; },
                 nullptr};
    EXPECT_EQ(FailInTurn(op), 0) << "the whole list ran";
}

} // namespace
