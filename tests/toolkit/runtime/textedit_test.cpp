// Text-file editing: the rewriting operations on real files, GetLine's
// comment filtering and counters, GenName.
#include "toolkit/toolkit.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Op = std::function<int(const char *base, const char *ext)>;

struct EditCase {
    const char *name;
    Op op;
    std::string input, expected;
};

const EditCase kEdits[] = {
    {"change first occurrence only",
     [](const char *b, const char *e) { return FileChange(b, e, "foo", "bar"); },
     "foo foo\nnone\nxfoo\n", "bar foo\nnone\nxbar\n"},
    {"change to a longer text",
     [](const char *b, const char *e) { return FileChange(b, e, "=", " := "); }, "a=1\nb\n",
     "a := 1\nb\n"},
    {"change with an empty pattern touches nothing",
     [](const char *b, const char *e) { return FileChange(b, e, "", "X"); }, "a\n", "a\n"},
    {"change char: tab to two blanks",
     [](const char *b, const char *e) { return FileChangeChar(b, e, "9", "32,32"); }, "a\tb\t\n",
     "a  b  \n"},
    {"change char: hex and octal codes",
     [](const char *b, const char *e) { return FileChangeChar(b, e, "0x3b", "072,0x2d"); }, "a;b\n",
     "a:-b\n"},
    {"change char: a 0 ends the list",
     [](const char *b, const char *e) { return FileChangeChar(b, e, "97", "65,0,66"); }, "banana\n",
     "bAnAnA\n"},
    {"change char: a code naming byte 0 ends the list",
     [](const char *b, const char *e) { return FileChangeChar(b, e, "97", "65,256,66"); }, "ab\n",
     "Ab\n"},
    {"change char: no codes removes",
     [](const char *b, const char *e) { return FileChangeChar(b, e, "44", ""); }, "1,2,3\n",
     "123\n"},
    {"del keeps the first n matching lines",
     [](const char *b, const char *e) { return FileDel(b, e, 1, "#"); }, "#a#\nb\n#c#\n#d\n",
     "#a#\nb\nc#\nd\n"},
    {"delformat empty: first occurrence",
     [](const char *b, const char *e) { return FileDelFormat(b, e, "", "ab"); }, "xabab\nno\n",
     "xab\nno\n"},
    {"delformat a: keep up to the text",
     [](const char *b, const char *e) { return FileDelFormat(b, e, "a", "=="); },
     "key==value\nplain\nlast==x", "key==\nplain\nlast==\n"},
    {"delformat b: drop what precedes",
     [](const char *b, const char *e) { return FileDelFormat(b, e, "b", "id"); },
     "  # id 4\nother\n", "id 4\nother\n"},
    {"delformat c: character everywhere",
     [](const char *b, const char *e) { return FileDelFormat(b, e, "c", "0x22"); }, "\"a\" \"b\"\n",
     "a b\n"},
    {"delformat l: whole lines",
     [](const char *b, const char *e) { return FileDelFormat(b, e, "lines", "x"); },
     "x1\ny\nax\nz\n", "y\nz\n"},
    {"insert before every line",
     [](const char *b, const char *e) { return FileInsert(b, e, "# "); }, "a\nb\n", "# a\n# b\n"},
    {"insert numbered from %#1",
     [](const char *b, const char *e) { return FileInsert(b, e, "%#1 "); }, "a\nb\nc\n",
     "a\n00000 b\n00001 c\n"},
    {"insert: %s sets the start",
     [](const char *b, const char *e) { return FileInsert(b, e, "L%s10%#3:"); }, "a\nb\n",
     "L00007:a\nL00008:b\n"},
    {"insert: %s without %# is removed",
     [](const char *b, const char *e) { return FileInsert(b, e, "[%s5]"); }, "a\n", "[]a\n"},
    // A mark counts only with digits after it; a bare one is plain text.
    {"insert: %s without digits stays",
     [](const char *b, const char *e) { return FileInsert(b, e, "%s-%#1:"); }, "a\nb\n",
     "a\n%s-00000:b\n"},
    {"insert: the first %s with digits sets the start",
     [](const char *b, const char *e) { return FileInsert(b, e, "%s %s2%#1 "); }, "a\n",
     "%s 00001 a\n"},
    {"insert: %# without digits stays",
     [](const char *b, const char *e) { return FileInsert(b, e, "%#:"); }, "a\nb\n",
     "%#:a\n%#:b\n"},
    {"search insert counts matching lines only",
     [](const char *b, const char *e) { return FileSearchInsert(b, e, "%#0.", "q"); }, "q\nx\nq\n",
     "00000.q\nx\n00001.q\n"},
    {"search insert plain",
     [](const char *b, const char *e) { return FileSearchInsert(b, e, "//", "dbg"); },
     "dbg(1);\nrun();\n", "//dbg(1);\nrun();\n"},
    {"del line", [](const char *b, const char *e) { return FileDelLine(b, e, 1, "x"); },
     "x1\ny\nx2\nx3\n", "x1\ny\n"},
    {"del line, n 0 removes all",
     [](const char *b, const char *e) { return FileDelLine(b, e, 0, "x"); }, "x\nx\n", ""},
    {"del line pair",
     [](const char *b, const char *e) { return FileDelLinePair(b, e, 0, "begin", "end"); },
     "begin\na\nend\nb\n", "a\nb\n"},
    {"del line pair: arms add up, one per end line",
     [](const char *b, const char *e) { return FileDelLinePair(b, e, 1, "begin", "end"); },
     "begin\nend\nbegin\nbegin\nend\nend\nend\n", "begin\nend\nend\n"},
    {"del line pair: an end before any removal stays",
     [](const char *b, const char *e) { return FileDelLinePair(b, e, 0, "begin", "end"); },
     "end\nbegin end\nend\n", "end\n"},
    {"last line without newline",
     [](const char *b, const char *e) { return FileChange(b, e, "a", "b"); }, "a\na", "b\nb"},
    {"empty file", [](const char *b, const char *e) { return FileInsert(b, e, "x"); }, "", ""},
};

TEST(Rewrite, OperationsOnFiles) {
    for (const auto &c : kEdits) {
        ScratchDir d;
        std::string base = d / "conf";
        writeFile(base + ".txt", c.input);
        EXPECT_EQ(c.op(base.c_str(), "txt"), 0) << c.name;
        EXPECT_EQ(readFile(base + ".txt"), c.expected) << c.name;
        EXPECT_FALSE(pathExists(base + ".txtout")) << c.name;
    }
}

TEST(Rewrite, EmptyExtensionUsesBaseAndBaseDotOut) {
    ScratchDir d;
    std::string base = d / "plain";
    writeFile(base, "a\n");
    writeFile(base + ".out", "stale\n");
    EXPECT_EQ(FileChange(base.c_str(), "", "a", "b"), 0);
    EXPECT_EQ(readFile(base), "b\n");
    EXPECT_FALSE(pathExists(base + ".out"));
    EXPECT_EQ(FileChange(base.c_str(), nullptr, "b", "c"), 0);
    EXPECT_EQ(readFile(base), "c\n");
}

TEST(Rewrite, KeepsTheFileMode) {
    ScratchDir d;
    std::string base = d / "run";
    writeFile(base + ".sh", "echo a\n", 0750);
    EXPECT_EQ(FileChange(base.c_str(), "sh", "a", "b"), 0);
    EXPECT_EQ(fileMode(base + ".sh"), 0750);
}

TEST(Rewrite, LongLinesStayWhole) {
    ScratchDir d;
    std::string base = d / "long";
    std::string big(600, 'x'), huge(300000, 'y');
    writeFile(base + ".txt", big + "foo" + big + "foo\n" + huge + "\nfoo\n");
    EXPECT_EQ(FileChange(base.c_str(), "txt", "foo", "bar"), 0);
    EXPECT_EQ(readFile(base + ".txt"), big + "bar" + big + "foo\n" + huge + "\nbar\n");
    EXPECT_EQ(FileInsert(base.c_str(), "txt", "> "), 0);
    EXPECT_EQ(readFile(base + ".txt"), "> " + big + "bar" + big + "foo\n> " + huge + "\n> bar\n");
    EXPECT_EQ(FileDelLine(base.c_str(), "txt", 0, "y"), 0);
    EXPECT_EQ(readFile(base + ".txt"), "> " + big + "bar" + big + "foo\n> bar\n");
}

TEST(Rewrite, ChangeCharTakesAtMost127Bytes) {
    ScratchDir d;
    std::string base = d / "c";
    writeFile(base + ".txt", "x\n");
    std::string codes;
    for (int i = 0; i < 200; i++)
        codes += "65,";
    EXPECT_EQ(FileChangeChar(base.c_str(), "txt", "120", codes.c_str()), 0);
    EXPECT_EQ(readFile(base + ".txt"), std::string(127, 'A') + "\n");
}

TEST(Rewrite, InsertChangesTheCallersText) {
    ScratchDir d;
    std::string base = d / "n";
    writeFile(base + ".txt", "a\nb\n");
    char text[] = "%s2%#1-";
    EXPECT_EQ(FileInsert(base.c_str(), "txt", text), 0);
    EXPECT_STREQ(text, "%#1-");
    EXPECT_EQ(readFile(base + ".txt"), "00001-a\n00002-b\n");
}

TEST(Rewrite, RefusalsLeaveTheFileAlone) {
    ScratchDir d;
    std::string base = d / "keep";
    writeFile(base + ".txt", "x\n");
    EXPECT_EQ(FileDelFormat(base.c_str(), "txt", "z", "x"), 1);
    EXPECT_EQ(FileDelFormat(base.c_str(), "txt", "c", "none"), 1);
    EXPECT_EQ(FileChangeChar(base.c_str(), "txt", "q", "65"), 1);
    EXPECT_EQ(readFile(base + ".txt"), "x\n");
    EXPECT_FALSE(pathExists(base + ".txtout"));
}

TEST(Rewrite, UnopenableOutputKeepsTheOriginal) {
    ScratchDir d;
    std::string base = d / "f";
    writeFile(base + ".txt", "x\n");
    makeDirs(base + ".txtout"); // cannot be opened for writing
    EXPECT_EXIT(FileChange(base.c_str(), "txt", "x", "y"), testing::ExitedWithCode(1),
                "can't open file, .*f.txtout");
    EXPECT_EQ(readFile(base + ".txt"), "x\n");
}

TEST(Rewrite, ReadErrorKeepsTheOriginal) {
    ScratchDir d;
    std::string base = d / "dir";
    makeDirs(base + ".txt"); // reading a directory fails
    EXPECT_NE(FileChange(base.c_str(), "txt", "x", "y"), 0);
    EXPECT_TRUE(pathExists(base + ".txt"));
    EXPECT_FALSE(pathExists(base + ".txtout"));
}

TEST(Rewrite, MissingInputOrLongNameEndsTheProcess) {
    ScratchDir d;
    std::string base = d / "missing";
    EXPECT_EXIT(FileDelLine(base.c_str(), "txt", 0, "x"), testing::ExitedWithCode(1),
                "can't open file, .*missing.txt");
    std::string longBase = d / std::string(130, 'n');
    EXPECT_EXIT(FileChange(longBase.c_str(), "", "x", "y"), testing::ExitedWithCode(1),
                "can't open file");
    std::string edge = std::string(124, 'e'); // "<edge>.x" fits, "<edge>.xout" does not
    EXPECT_EXIT(FileChange(edge.c_str(), "x", "a", "b"), testing::ExitedWithCode(1),
                "can't open file");
}

TEST(OpenIOFiles, PairReplacesTheInput) {
    ScratchDir d;
    std::string base = d / "pair";
    writeFile(base + ".cfg", "old\n", 0600);
    FILE *out = OpenIOFiles(base.c_str(), "cfg");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out, pOut);
    EXPECT_EQ(std::string(Fn), base + ".cfg");
    EXPECT_EQ(std::string(FnOut), base + ".cfgout");
    ASSERT_NE(pIn, nullptr);
    char buf[16];
    ASSERT_TRUE(fgets(buf, sizeof buf, pIn));
    fputs("new\n", pOut);
    EXPECT_EQ(ReplaceInputFile(), 0);
    EXPECT_EQ(pIn, nullptr);
    EXPECT_EQ(pOut, nullptr);
    EXPECT_EQ(readFile(base + ".cfg"), "new\n");
    EXPECT_EQ(fileMode(base + ".cfg"), 0600);
    EXPECT_FALSE(pathExists(base + ".cfgout"));
    EXPECT_NE(ReplaceInputFile(), 0); // nothing left to move
    EXPECT_EQ(readFile(base + ".cfg"), "new\n");
}

TEST(OpenIOFiles, EmptyExtensionGivesBaseOut) {
    ScratchDir d;
    std::string base = d / "plain";
    writeFile(base, "a\n");
    OpenIOFiles(base.c_str(), "");
    EXPECT_EQ(std::string(FnOut), base + "out");
    EXPECT_EQ(ReplaceInputFile(), 0);
    EXPECT_EQ(readFile(base), "");
}

// Opens text as the shared input.
void openInput(const ScratchDir &d, const std::string &text) {
    writeFile(d / "in.c", text);
    ASSERT_TRUE(OpenInputFile((d / "in.c").c_str(), 1));
}

struct ReadCase {
    std::string text;
    int cnt;
    int pos;
};

// Every GetLine of text: the line, LineCnt and InPos; stops at the end.
std::vector<ReadCase> readAll(const ScratchDir &d, const std::string &text) {
    openInput(d, text);
    std::vector<ReadCase> got;
    while (int n = GetLine()) {
        EXPECT_EQ(n, LineCnt);
        EXPECT_EQ(pLine, Line);
        got.push_back({Line, LineCnt, InPos});
    }
    CloseInputFile();
    return got;
}

TEST(GetLine, CommentFiltering) {
    struct {
        const char *name;
        std::string text;
        std::vector<ReadCase> lines;
    } cases[] = {
        {"line and block comments", "a // note\n/* x\ny */ b\n", {{"a ", 1, 0}, {"b", 2, 15}}},
        {"leading blanks, newline and CR cut",
         "  \tkey = v  \r\n\n",
         {{"key = v  ", 1, 0}, {"", 1, 14}}},
        {"comment inside a line", "a /* x */ b // c\n", {{"a  b ", 1, 0}}},
        // Only the first block comment of a line is taken out; what follows
        // its end is kept as it is, blanks included.
        {"two comments on a line",
         "/*1*/x/*2*/y/*3\n*/z\n",
         {{"x/*2*/y/*3", 1, 0}, {"*/z", 1, 16}}},
        {"blanks after a leading comment kept", "/* x */ b\n", {{" b", 1, 0}}},
        {"interior lines skipped",
         "/* start\n inner\n more\nend */ t\nu\n",
         {{"t", 4, 22}, {"u", 1, 31}}},
        // "//" is cut before block comments are looked for.
        {"// inside a block comment", "/* http://x */ v\n", {}},
        {"// inside a comment going on", "a /* x // y */ b\nc */ d\n", {{"d", 2, 17}}},
        {"/* after //", "w // /* not\nx\n", {{"w ", 1, 0}, {"x", 1, 12}}},
        {"/*/ does not close", "/*/ a\n*/b\n", {{"b", 2, 6}}},
        {"open comment at the end", "q\n/* never\nclosed\n", {{"q", 1, 0}}},
    };
    for (const auto &c : cases) {
        ScratchDir d;
        auto got = readAll(d, c.text);
        ASSERT_EQ(got.size(), c.lines.size()) << c.name;
        for (size_t i = 0; i < got.size(); i++) {
            EXPECT_EQ(got[i].text, c.lines[i].text) << c.name << " #" << i;
            EXPECT_EQ(got[i].cnt, c.lines[i].cnt) << c.name << " #" << i;
            EXPECT_EQ(got[i].pos, c.lines[i].pos) << c.name << " #" << i;
        }
    }
}

TEST(GetLine, UnfilteredReturnsLinesAsRead) {
    ScratchDir d;
    flInputFilterState = 0;
    auto got = readAll(d, "  a // b\n/* c\n");
    flInputFilterState = 1;
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, "  a // b\n");
    EXPECT_EQ(got[1].text, "/* c\n");
    EXPECT_EQ(got[1].pos, 9);
}

TEST(GetLine, ClearsAfterTheTextAndHandlesHugeLines) {
    ScratchDir d;
    std::string huge(LINE_SIZE + 100, 'z');
    openInput(d, "long line text here\nab\n" + huge + "\n");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "ab");
    for (int i = 3; i < 512; i++)
        ASSERT_EQ(Line[i], '\0') << i;
    EXPECT_EQ(GetLine(), 1); // the buffer's worth
    EXPECT_EQ(strlen(Line), (size_t)GETLINE_MAX);
    EXPECT_EQ(GetLine(), 1); // the rest of the physical line
    EXPECT_EQ(std::string(Line), std::string(LINE_SIZE + 100 - GETLINE_MAX, 'z'));
    EXPECT_EQ(GetLine(), 0);
    CloseInputFile();
    EXPECT_EQ(GetLine(), 0); // no input
    ScratchDir e;
    openInput(e, "last\n");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_EQ(GetLine(), 0);
    EXPECT_STREQ(Line, "last"); // the end of the file leaves the last line in place
    CloseInputFile();
}

TEST(GetLine, GetLineNSkipsAhead) {
    ScratchDir d;
    openInput(d, "a\n/*\n*/b\nc\n");
    EXPECT_EQ(GetLineN(0), 0);
    EXPECT_EQ(GetLineN(2), 2);
    EXPECT_STREQ(Line, "b");
    EXPECT_EQ(GetLineN(3), 0);
    CloseInputFile();
    // Every one of the n calls is made: the last one, past the end, leaves
    // LineCnt at 0 even when an earlier one stopped inside a comment.
    ScratchDir e;
    openInput(e, "a\n/* x\n");
    EXPECT_EQ(GetLineN(2), 0);
    EXPECT_EQ(LineCnt, 1);
    CloseInputFile();
    openInput(e, "a\n/* x\n");
    EXPECT_EQ(GetLineN(3), 0);
    EXPECT_EQ(LineCnt, 0);
    CloseInputFile();
}

TEST(GetLine, GetLinePosRereadsFromAnOffset) {
    ScratchDir d;
    openInput(d, "a\n/* c */b\nc\n");
    ASSERT_EQ(GetLineN(3), 1);
    GetLinePos(2);
    EXPECT_STREQ(Line, "b");
    EXPECT_EQ(InPos, 2);
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "c");
    CloseInputFile();
}

TEST(GenName, Identifiers) {
    struct {
        const char *phrase, *name;
    } cases[] = {
        {"print queue-2 name", "PrintQueue2Name"},
        {"2nd try", "NdTry"},
        {"  HELLO wORLD ", "HelloWorld"},
        {"a_b.c", "ABC"},
        {"x9y z", "X9yZ"},
        {"123 456", ""},
        {"", ""},
        {"caf\xc3\xa9 au lait", "CafAuLait"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(GenName(c.phrase), c.name) << c.phrase;
    EXPECT_STREQ(GenName(nullptr), "");
    std::string many;
    for (int i = 0; i < 200; i++)
        many += "ab ";
    EXPECT_EQ(strlen(GenName(many.c_str())), 254u);
}

} // namespace
