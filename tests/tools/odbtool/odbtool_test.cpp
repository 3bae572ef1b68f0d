// odbtool: dump and load give back the same database, check finds every kind of damage the
// readers cut at, and the single-record commands and their errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/scratch.h"

namespace {

const std::string kTool = BINARY_DIR "/odbtool";

struct ToolRun {
    int status;
    std::string out;
};

// Runs odbtool with args (a shell word list) in dir; standard error joins the output.
ToolRun Tool(const ScratchDir &dir, const std::string &args, const std::string &input = "") {
    ShellRun run;
    run.cwd = dir.path;
    run.env = {"ASAN_OPTIONS=detect_leaks=0"};
    run.script = "-c";
    run.args = {shQuote(kTool) + " " + args};
    run.input = input;
    ToolRun r;
    r.status = runShell(run, &r.out);
    return r;
}

// The file bytes of databases written by hand, to damage them in every way.
std::string Scrambled(std::string b) {
    for (size_t i = 1; i < b.size(); i++)
        b[i - 1] = (char)(b[i - 1] ^ b[i]);
    return b;
}
std::string Be16(unsigned v) {
    return {(char)(v >> 8), (char)(v & 0xff)};
}
std::string Le16(unsigned v) {
    return {(char)(v & 0xff), (char)(v >> 8)};
}
// A headered record; keySize defaults to the key's length + 1 (key given without its NUL).
std::string Headered(const std::string &key, const std::string &data, int keySize = -1) {
    unsigned k = keySize < 0 ? (unsigned)key.size() + 1 : (unsigned)keySize;
    std::string keyBytes = key + std::string(1, '\0');
    return Be16((unsigned)(key.size() + 1 + data.size() + 2)) + Be16(k) + Scrambled(keyBytes) +
           Scrambled(data);
}
std::string Headerless(const std::string &keyBytes, const std::string &data, int keySize = -1) {
    unsigned k = keySize < 0 ? (unsigned)keyBytes.size() : (unsigned)keySize;
    std::string body = Le16(k) + keyBytes + data;
    return Le16((unsigned)body.size()) + Scrambled(body);
}
std::string Header(int count) {
    std::string h = "TODBAA" + std::to_string(count);
    h.resize(16, '\0');
    return h;
}

std::string AllBytes() {
    std::string s;
    for (int c = 0; c < 256; c++)
        s += (char)c;
    return s;
}

TEST(OdbTool, DumpThenLoadGivesTheSameFile) {
    ScratchDir dir;
    const std::string z(1, '\0');
    struct Case {
        const char *what;
        std::string file; // database bytes
        size_t filler;    // leading bytes that may differ (the header's filler)
    } cases[] = {
        {"headered, every byte value, quotes, backslashes and UTF-8",
         Header(4) + Headered("bin", AllBytes()) + Headered("q\"uo\\te", "x" + z) +
             Headered("grüße", "Grüße, 日本\n" + z) + Headered("big", std::string(60000, 'b')),
         16},
        {"headerless", Headerless("k1" + z, "v1" + z) + Headerless("k 2" + z, AllBytes()), 0},
        {"the core string database", readFile(BINARY_DIR "/nls/db/en_US/CoreString.odb"), 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.file.size(), 16u);
        writeFile(dir / "in.odb", c.file);
        ToolRun dump = Tool(dir, "dump in.odb");
        ASSERT_EQ(dump.status, 0) << dump.out;
        writeFile(dir / "dump.txt", dump.out);
        ToolRun load = Tool(dir, "load out.odb dump.txt");
        ASSERT_EQ(load.status, 0) << load.out;
        std::string back = readFile(dir / "out.odb");
        ASSERT_EQ(back.size(), c.file.size());
        EXPECT_STREQ(back.substr(0, c.filler).c_str(),
                     c.file.substr(0, c.filler).c_str()); // magic and count
        EXPECT_EQ(back.substr(c.filler), c.file.substr(c.filler));
        EXPECT_EQ(Tool(dir, "dump out.odb").out, dump.out);
        EXPECT_EQ(Tool(dir, "check out.odb").status, 0);
    }
    EXPECT_FALSE(pathExists(dir / "db")) << "no stray db directory";
    EXPECT_FALSE(pathExists(dir / "out.odb_new"));
}

TEST(OdbTool, CheckFindsEveryKindOfDamage) {
    ScratchDir dir;
    const std::string z(1, '\0');
    const std::string good = Header(2) + Headered("a", "1") + Headered("b", "22");
    const size_t second = 16 + Headered("a", "1").size();
    const std::string goodLess = Headerless("a" + z, "1") + Headerless("b" + z, "22");
    const size_t secondLess = Headerless("a" + z, "1").size();
    struct Case {
        const char *what;
        std::string file;
        std::string expect; // a line of the report
    } cases[] = {
        {"sound", good, "no damage"},
        {"sound headerless", goodLess, "no damage"},
        {"a stray byte after the last record", good + "x",
         "offset " + std::to_string(good.size()) +
             ": damaged record: the file ends inside its length field"},
        {"a record cut short", good.substr(0, good.size() - 1),
         "offset " + std::to_string(second) + ": damaged record: its body runs past the end"},
        {"a headerless record cut short", goodLess.substr(0, goodLess.size() - 1),
         "offset " + std::to_string(secondLess) + ": damaged record: its body runs past the end"},
        {"a body length below 2", Header(2) + Headered("a", "1") + Be16(1) + "xy",
         "offset " + std::to_string(second) + ": damaged record: its body is shorter"},
        {"a key size past the body", Header(2) + Headered("a", "1") + Headered("b", "22", 9),
         "offset " + std::to_string(second) + ": damaged record: its body is shorter"},
        {"a headerless key size past the body",
         Headerless("a" + z, "1") + Headerless("b" + z, "22", 9),
         "offset " + std::to_string(secondLess) + ": damaged record: its body is shorter"},
        {"a header cut short", good.substr(0, 10),
         "offset 0: damaged record: the file ends inside the 16-byte header"},
        {"a wrong header count", Header(5) + Headered("a", "1") + Headered("b", "22"),
         "the header counts 5 records, 2 found"},
        {"a repeated key", goodLess + Headerless("a" + z, "3"),
         "record 3 (key \"a\"): its key repeats record 1's"},
        {"a key without its NUL", Headerless("ab", "1"),
         "record 1 (key \"ab\"): its key is not one NUL-ended text"},
        {"a record without data", Headerless("a" + z, ""), "record 1 (key \"a\"): it has no data"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir / "db.odb", c.file);
        ToolRun r = Tool(dir, "check db.odb");
        EXPECT_EQ(r.status, c.expect == "no damage" ? 0 : 1) << r.out;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << r.out;
    }
    // A write to a damaged database would drop the records past the damage: refused.
    writeFile(dir / "db.odb", good.substr(0, good.size() - 1));
    ToolRun put = Tool(dir, "put db.odb c -", "3");
    EXPECT_EQ(put.status, 1);
    EXPECT_NE(put.out.find("is damaged at offset " + std::to_string(second)), std::string::npos);
    EXPECT_EQ(readFile(dir / "db.odb"), good.substr(0, good.size() - 1));
}

TEST(OdbTool, RecordCommandsAndErrors) {
    ScratchDir dir;
    struct Case {
        std::string args, input;
        int status;
        std::string out; // the whole output, or a part of it when it starts with "~"
    } cases[] = {
        {"put new.odb greeting -", std::string("hello\0", 6), 0, ""},
        {"put new.odb other", "x", 0, ""},
        {"get new.odb greeting", "", 0, std::string("hello\0", 6)},
        {"list new.odb", "", 0, "greeting\nother\n"},
        {"put new.odb greeting", "bye", 0, ""},
        {"list new.odb", "", 0, "other\ngreeting\n"},
        {"stats new.odb", "", 0, "~format   headered\nrecords  2\n"},
        {"convert new.odb --headerless flat.odb", "", 0, ""},
        {"stats flat.odb", "", 0, "~format   headerless\n"},
        {"get flat.odb greeting", "", 0, "bye"},
        {"del new.odb other", "", 0, ""},
        {"del new.odb other", "", 1, "~no record \"other\""},
        {"get new.odb other", "", 1, "~no record \"other\""},
        {"put new.odb empty", "", 1, "~no data"},
        {"get missing.odb k", "", 1, "~missing.odb: No such file or directory"},
        {"load bad.odb -", "format headered\n\"k\" \"\\q\"\n", 1,
         "~stdin:2: data: unknown escape \\q"},
        {"load bad.odb -", "\"k\" \"v\"\n", 1, "~stdin:1: \"format headered\" or"},
        {"--tool-dir . put sub/name k", "v", 0, ""},
        {"get db/sub/name.odb k", "", 0, "v"},
        {"frobnicate new.odb", "", 2, "~Usage: odbtool"},
        {"get new.odb", "", 2, "~Usage: odbtool"},
        {"--help", "", 0, "~Exit status"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun r = Tool(dir, c.args, c.input);
        EXPECT_EQ(r.status, c.status) << r.out;
        if (!c.out.empty() && c.out[0] == '~') {
            EXPECT_NE(r.out.find(c.out.substr(1)), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out, c.out);
        }
    }
    EXPECT_FALSE(pathExists(dir / "bad.odb"));
}

} // namespace
