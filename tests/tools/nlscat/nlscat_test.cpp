// The catalogue tool: build, list, get, dump, the round trip of the catalogue sources,
// and its errors.
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kTool = BINARY_DIR "/nlscat";
const std::string kCatalogs = SOURCE_DIR "/toolkit/nls/catalog";

struct ToolRun {
    int status;
    std::string out;
};

class NlsCat : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }

    // Runs the tool in the scratch directory; standard error joins standard output.
    ToolRun Tool(const std::string &args) {
        std::string cmd = "cd '" + dir_.string() + "' && ASAN_OPTIONS=detect_leaks=0 '" + kTool +
                          "' " + args + " 2>&1";
        FILE *p = popen(cmd.c_str(), "r");
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        int status = pclose(p);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
    }

    void Write(const std::string &name, const std::string &text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    std::string Read(const std::string &name) {
        std::ifstream f(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    ScratchDir scratch_;
    fs::path dir_ = scratch_.path;
};

TEST_F(NlsCat, BuildsListsAndGets) {
    Write("a.txt", "# test\n$set 25\n201 Save\n1017 \"\\nDo you want to return to %s menu\"\n"
                   "$key intro  index.html  \n$set 30\n22 \"  %s Help \"\n");
    ToolRun b = Tool("build out/a.odb a.txt");
    ASSERT_EQ(b.status, 0) << b.out;
    EXPECT_EQ(Read("out/a.odb").substr(0, 7), "TODBAA4");
    EXPECT_FALSE(fs::exists(dir_ / "db")) << "no stray db directory";
    EXPECT_FALSE(fs::exists(dir_ / "out/a.odb_new"));

    ToolRun l = Tool("list out/a.odb");
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.out, "25_201\n25_1017\nintro\n30_22\n");

    EXPECT_EQ(Tool("get out/a.odb 25 201").out, "Save\n");
    EXPECT_EQ(Tool("get out/a.odb 25_1017").out, "\nDo you want to return to %s menu\n");
    EXPECT_EQ(Tool("get out/a.odb intro").out, "index.html\n");
    EXPECT_EQ(Tool("get out/a.odb 30 22").out, "  %s Help \n");
    ToolRun miss = Tool("get out/a.odb 25 7");
    EXPECT_EQ(miss.status, 1);
    EXPECT_NE(miss.out.find("25_7"), std::string::npos);
}

// A catalogue of only comments builds a database without strings, in both formats.
TEST_F(NlsCat, EmptyCatalogueBuildsAnEmptyDatabase) {
    Write("none.txt", "# nothing yet\n");
    for (const char *flag : {"", "--headerless "}) {
        ToolRun b = Tool(std::string("build ") + flag + "none.odb none.txt");
        ASSERT_EQ(b.status, 0) << flag << b.out;
        ToolRun l = Tool("list none.odb");
        EXPECT_EQ(l.status, 0) << flag;
        EXPECT_EQ(l.out, "") << flag;
    }
}

TEST_F(NlsCat, DumpRoundTripsEveryCatalogueInBothFormats) {
    for (const char *lang : {"en_US", "de_DE", "fr_FR"}) {
        std::string src = kCatalogs + "/" + lang + ".txt";
        ASSERT_EQ(Tool("build one.odb '" + src + "'").status, 0) << lang;
        ToolRun first = Tool("dump one.odb");
        ASSERT_EQ(first.status, 0);
        Write("dump.txt", first.out);
        ASSERT_EQ(Tool("build --headerless two.odb dump.txt").status, 0) << first.out;
        EXPECT_NE(Read("two.odb").substr(0, 6), "TODBAA");
        ToolRun second = Tool("dump two.odb");
        EXPECT_EQ(second.out, first.out) << lang;
        EXPECT_EQ(Tool("list one.odb").out, Tool("list two.odb").out);
    }
}

TEST_F(NlsCat, EscapesAndContinuationLines) {
    Write("e.txt", "$set 1\n1 tab\\there \\x41\\102\\\\ \\\"q\\\"\n2 \"first \\\n  second\"\n"
                   "3 \"\"\n4 \"a#b\"\n");
    ASSERT_EQ(Tool("build e.odb e.txt").status, 0);
    EXPECT_EQ(Tool("get e.odb 1 1").out, "tab\there AB\\ \"q\"\n");
    EXPECT_EQ(Tool("get e.odb 1 2").out, "first   second\n");
    EXPECT_EQ(Tool("get e.odb 1 3").out, "\n");
    EXPECT_EQ(Tool("get e.odb 1 4").out, "a#b\n");
    EXPECT_EQ(Tool("dump e.odb").out, "$set 1\n1 \"tab\\there AB\\\\ \\\"q\\\"\"\n"
                                      "2 \"first   second\"\n3 \"\"\n4 \"a#b\"\n");
}

TEST_F(NlsCat, KeysWithBlanksOrQuotesAreQuotedAndRoundTrip) {
    Write("k.txt", "$key \"a b\" x\n$key \"t\\tab\" \"y\"\n$key \"\\\"q\" z\n$key plain w\n");
    ToolRun b = Tool("build k.odb k.txt");
    ASSERT_EQ(b.status, 0) << b.out;
    EXPECT_EQ(Tool("list k.odb").out, "a b\nt\tab\n\"q\nplain\n");
    EXPECT_EQ(Tool("get k.odb 'a b'").out, "x\n");
    ToolRun d = Tool("dump k.odb");
    EXPECT_EQ(d.out, "$key \"a b\" \"x\"\n$key \"t\\tab\" \"y\"\n$key \"\\\"q\" \"z\"\n"
                     "$key plain \"w\"\n");
    Write("again.txt", d.out);
    ASSERT_EQ(Tool("build again.odb again.txt").status, 0);
    EXPECT_EQ(Tool("dump again.odb").out, d.out);
}

TEST_F(NlsCat, RejectsBadCataloguesWithTheirLine) {
    struct Case {
        std::string text;
        const char *message;
    } cases[] = {
        {"1 before any set\n", "x.txt:1: message number before any $set"},
        {"$set 2\n1 a\n\n1 b\n", "x.txt:4: key 2_1 already defined at x.txt:2"},
        {"$set 2\n1 \"open\n", "x.txt:2: missing closing quote"},
        {"$set 2\n1 \"a\" b\n", "x.txt:2: text after the closing quote"},
        {"$set 2\n1 bad \\q escape\n", "x.txt:2: bad escape sequence"},
        {"$set 0\n", "x.txt:1: $set needs one message set number above 0"},
        {"$set 2\n1x y\n", "x.txt:2: bad message number 1x"},
        {"hello\n", "x.txt:1: expected a message number, $set or $key"},
        {"$key\n", "x.txt:1: $key needs a key"},
        {"$key \"\" x\n", "x.txt:1: $key needs a key"},
        {"$key \"a b x\n", "x.txt:1: missing closing quote"},
        {"$key \"a\"b x\n", "x.txt:1: text after the closing quote"},
        {"$key \"a\\0b\" x\n", "x.txt:1: a key can't hold a NUL"},
        {std::string("$key a\0b x\n", 11), "x.txt:1: a key can't hold a NUL"},
    };
    for (const Case &c : cases) {
        Write("x.txt", c.text);
        ToolRun r = Tool("build x.odb x.txt");
        EXPECT_EQ(r.status, 1) << c.text;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(dir_ / "x.odb")) << c.text;
    }
}

TEST_F(NlsCat, RejectsStringsTooLargeForADatabase) {
    Write("big.txt", "$set 1\n1 " + std::string(70000, 'b') + "\n");
    ToolRun r = Tool("build big.odb big.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("too long"), std::string::npos);
}

TEST_F(NlsCat, UsageAndHelp) {
    EXPECT_EQ(Tool("").status, 2);
    EXPECT_EQ(Tool("frobnicate").status, 2);
    EXPECT_EQ(Tool("build only.odb").status, 2);
    EXPECT_EQ(Tool("list").status, 2);
    ToolRun h = Tool("--help");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("Adding a language"), std::string::npos);
    EXPECT_NE(h.out.find("trans.conf"), std::string::npos);
    ToolRun missing = Tool("list nowhere.odb");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("nowhere.odb"), std::string::npos);
}

TEST_F(NlsCat, ReadsStandardInput) {
    Write("in.txt", "$key k v\n");
    ToolRun r = Tool("build s.odb - < in.txt");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Tool("get s.odb k").out, "v\n");
}

} // namespace
