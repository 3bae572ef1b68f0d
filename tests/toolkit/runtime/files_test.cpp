// Files and directories: listings, FindFile, line readers, whole-file reads and the file
// changes that run commands (against the fake commands).
#include "tests/toolkit/syscmd/fakesys.h"

#include <set>
#include <sys/stat.h>

using namespace fakesys;

namespace {

// Entries of a directory list, in order.
std::vector<std::string> Items(const char *list) {
    std::vector<std::string> out;
    std::stringstream s(list);
    for (std::string w; s >> w;)
        out.push_back(w);
    return out;
}

TEST(DirListTest, EmptyDirectoryHoldsDotAndDotDot) {
    ScratchDir tmp;
    char *list = GetDirFileList(tmp.path.c_str());
    ASSERT_NE(list, nullptr);
    std::vector<std::string> items = Items(list);
    EXPECT_EQ(std::set<std::string>(items.begin(), items.end()),
              (std::set<std::string>{".", ".."}));
    EXPECT_EQ(strlen(list), 6u);
    EXPECT_EQ(list[0], ' ');
    EXPECT_EQ(list[5], ' ');
    PutMem(list);
    EXPECT_EQ(GetDirFileList((tmp / "missing").c_str()), nullptr);
}

TEST(DirListTest, SearchByExtension) {
    ScratchDir tmp;
    for (const char *f : {"a.txt", "b.odb", "c.txt.bak", "noext", "d.txt"})
        writeFile(tmp / f, "");
    char *list = SearchDirFileList(tmp.path.c_str(), "txt");
    ASSERT_NE(list, nullptr);
    std::vector<std::string> items = Items(list);
    EXPECT_EQ(std::set<std::string>(items.begin(), items.end()),
              (std::set<std::string>{"a.txt", "d.txt"}));
    EXPECT_EQ(list[strlen(list) - 1], ' ');
    PutMem(list);
    list = SearchDirFileList(tmp.path.c_str(), nullptr);
    EXPECT_EQ(Items(list).size(), 5u);
    PutMem(list);
    EXPECT_EQ(SearchDirFileList(tmp.path.c_str(), "pdf"), nullptr);
    EXPECT_EQ(SearchDirFileList((tmp / "none").c_str(), nullptr), nullptr);
}

// Nodes of the managed allocation that starts at p; 0 if none does.
int NodesOf(const char *p) {
    for (MemBlock *b = pMemB; b; b = b->pNext)
        if (p >= b->pData && p < b->pData + b->Size)
            return b->Node[(p - b->pData) / MEM_NODE_SIZE].Count;
    return 0;
}

// Both listings size their memory by every entry of the directory (name
// plus one each, plus three), whatever the search keeps.
TEST(DirListTest, MemoryCoversEveryEntryPlusThree) {
    ScratchDir tmp;
    // ". .." and one 22-character name: 2 + 3 + 23 = 28 bytes, + 3 fill one node.
    writeFile(tmp / std::string(18, 'n') + ".txt", "");
    char *list = GetDirFileList(tmp.path.c_str());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(NodesOf(list), 1);
    PutMem(list);
    // A 100-character name the search leaves out still counts.
    writeFile(tmp / std::string(96, 'm') + ".odb", "");
    list = SearchDirFileList(tmp.path.c_str(), "txt");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Items(list).size(), 1u);
    EXPECT_EQ(NodesOf(list), 5); // 28 + 101 + 3 = 132 bytes, with the terminator 133
    PutMem(list);
}

// The existence test as the listing answers it.
char ByListing(const std::string &dir, const std::string &name) {
    char *list = GetDirFileList(dir.c_str());
    char found = list && FindToken(name.c_str(), list) ? 1 : 0;
    PutMem(list);
    return found;
}

struct FindCase {
    const char *dir; // relative to the test directory; "@" is the directory itself
    const char *name;
    char expected;
};

class FindFileTest : public ::testing::Test {
  protected:
    ScratchDir tmp;
    void SetUp() override {
        writeFile(tmp / "passwd", "x");
        mkdir((tmp / "etc").c_str(), 0755);
        writeFile(tmp / "etc/passwd", "x");
        symlink("nowhere", (tmp / "dangling").c_str());
        symlink("etc", (tmp / "linkdir").c_str());
        writeFile(tmp / "tab\tname", "x");
    }
    std::string Dir(const char *d) const { return !strcmp(d, "@") ? tmp.path : tmp / d; }
};

TEST_F(FindFileTest, AnswersAsTheListingWould) {
    const FindCase cases[] = {
        {"@", "passwd", 1},    {"@", "pass", 0},     {"@", "passw", 0},    {"@", "etc/passwd", 1},
        {"@", "etc/pass", 0},  {"@", "etc/", 1},     {"@", "nodir/", 0},   {"@", ".", 1},
        {"@", "..", 1},        {"@", "", 1},         {"@", "dangling", 1}, {"@", "linkdir", 1},
        {"@", "tab\tname", 1}, {"etc", "passwd", 1}, {"etc", "..", 1},     {"passwd", "x", 0},
        {"passwd", ".", 0},    {"missing", "x", 0},  {"missing", "", 0},   {"linkdir", "passwd", 1},
        {"@", "missing", 0},
    };
    for (const FindCase &c : cases) {
        SCOPED_TRACE(std::string(c.dir) + " | " + c.name);
        std::string dir = Dir(c.dir);
        EXPECT_EQ(FindFile(dir.c_str(), c.name), c.expected);
        if (!strchr(c.name, '/') && *c.name) {
            EXPECT_EQ(ByListing(dir, c.name), c.expected);
        }
    }
}

TEST_F(FindFileTest, SingleArgumentIsAPath) {
    EXPECT_EQ(FindFile(nullptr, (tmp / "etc/passwd").c_str()), 1);
    EXPECT_EQ(FindFile(nullptr, (tmp / "etc/pass").c_str()), 0);
    EXPECT_EQ(FindFile((tmp / "etc/passwd").c_str(), ""), 1);
    EXPECT_EQ(FindFile((tmp / "etc/passwd").c_str(), nullptr), 1);
    EXPECT_EQ(FindFile(tmp.path.c_str(), nullptr), 1);
    EXPECT_EQ(FindFile(nullptr, ""), 0);
    EXPECT_EQ(FindFile(nullptr, nullptr), 0);
    // A trailing slash names the last component inside itself.
    EXPECT_EQ(FindFile((tmp / "etc/").c_str(), ""), 0);
}

TEST_F(FindFileTest, OverLongPathsAreRejected) {
    std::string longName(300, 'n');
    EXPECT_EQ(FindFile(tmp.path.c_str(), (longName + "/x").c_str()), 0);
    EXPECT_EQ(FindFile((tmp / longName).c_str(), ""), 0);
    EXPECT_EQ(FindFile(tmp.path.c_str(), longName.c_str()), 0);
}

TEST_F(FindFileTest, StatVariantFollowsLinks) {
    EXPECT_EQ(FindFile_(tmp.path.c_str(), "passwd"), 1);
    EXPECT_EQ(FindFile_(tmp.path.c_str(), "dangling"), 0);
    EXPECT_EQ(FindFile_(nullptr, (tmp / "etc").c_str()), 1);
    EXPECT_EQ(FindFile_((tmp / "etc").c_str(), nullptr), 1);
    EXPECT_EQ(FindFile_(nullptr, ""), 0);
}

TEST_F(FindFileTest, FileFacts) {
    writeFile(tmp / "five", "12345");
    EXPECT_EQ(GetFileSize((tmp / "five").c_str()), 5);
    EXPECT_EQ(GetFileSize((tmp / "none").c_str()), 0);
    EXPECT_GT(GetFileTime((tmp / "five").c_str()), 0);
    EXPECT_EQ(GetFileTime((tmp / "none").c_str()), 0);
    EXPECT_EQ(GetFileType((tmp / "none").c_str()), 0);
    EXPECT_EQ(GetFileType((tmp / "etc").c_str()), 1);
    EXPECT_EQ(GetFileType((tmp / "linkdir").c_str()), 2);
    EXPECT_EQ(GetFileType((tmp / "five").c_str()), 3);
}

class InputTest : public ::testing::Test {
  protected:
    ScratchDir tmp;
    std::string Put(const std::string &text) {
        std::string f = tmp / "in";
        writeFile(f, text);
        return f;
    }
    void TearDown() override { CloseInputFile(); }
};

TEST_F(InputTest, BackslashNewlineJoinsLines) {
    ASSERT_EQ(OpenInputFile(Put("a\\\nb\nc\n").c_str(), 0), 1);
    ASSERT_EQ(GetFileLine(), 1);
    EXPECT_STREQ(LineBuf, "a\\\nb\n");
    ASSERT_EQ(GetFileLine(), 1);
    EXPECT_STREQ(LineBuf, "c\n");
    EXPECT_EQ(GetFileLine(), 0);
    EXPECT_EQ(pIn, nullptr);
    EXPECT_EQ(GetFileLine(), 0);
}

TEST_F(InputTest, LongLinesComeInPiecesAndJoinsStopAtTheBuffer) {
    std::string piece(600, 'p');
    ASSERT_EQ(OpenInputFile(Put(piece + "\n").c_str(), 0), 1);
    ASSERT_EQ(GetFileLine(), 1);
    EXPECT_EQ(strlen(LineBuf), 510u);
    ASSERT_EQ(GetFileLine(), 1);
    EXPECT_EQ(strlen(LineBuf), 91u);
    std::string many;
    for (int i = 0; i < 20; i++)
        many += std::string(400, 'x') + "\\\n";
    ASSERT_EQ(OpenInputFile(Put(many + "end\n").c_str(), 0), 1);
    ASSERT_EQ(GetFileLine(), 1);
    EXPECT_LT(strlen(LineBuf), (size_t)LINEBUF_SIZE);
    while (GetFileLine())
        EXPECT_LT(strlen(LineBuf), (size_t)LINEBUF_SIZE);
}

TEST_F(InputTest, ContinuedLinesAreReadWholeIntoTheRoomLeft) {
    std::string tail(600, 'c');
    ASSERT_EQ(OpenInputFile(Put("a\\\n" + tail + "\nz\n").c_str(), 0), 1);
    ASSERT_EQ(GetFileLine(), 1);
    EXPECT_EQ(std::string(LineBuf), "a\\\n" + tail + "\n");
    EXPECT_EQ(LineLen, 3);
    ASSERT_EQ(GetFileLine(), 1);
    EXPECT_STREQ(LineBuf, "z\n");
    EXPECT_EQ(LineLen, 0);
}

TEST_F(InputTest, EndOfFileLeavesTheLastLineInTheBuffer) {
    ASSERT_EQ(OpenInputFile(Put("one\nlast\n").c_str(), 0), 1);
    while (GetFileLine()) {
    }
    EXPECT_EQ(pIn, nullptr);
    EXPECT_STREQ(LineBuf, "last\n");
}

TEST_F(InputTest, TextLinesSkipCommentsAndBlankLines) {
    ASSERT_EQ(OpenInputFile(Put("# c\n\n  key value\nnext\n").c_str(), 0), 1);
    ASSERT_EQ(GetFileTextLine(" \t\n"), 1);
    EXPECT_STREQ(LineBuf, "key");
    ASSERT_EQ(GetFileTextLine(" \t\n"), 1);
    EXPECT_STREQ(LineBuf, "next");
    EXPECT_EQ(GetFileTextLine(" \t\n"), 0);
    EXPECT_EQ(GetFileTextLine(nullptr), 0);
}

TEST_F(InputTest, OpenFailuresByErrorMode) {
    std::string missing = tmp / "missing";
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenInputFile(missing.c_str(), 0), 0);
    EXPECT_EQ(OpenInputFile(missing.c_str(), 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: can't open file, " + missing + "\n");
    EXPECT_STREQ(InputFileName, missing.c_str());
    EXPECT_STREQ(LineBuf, "");
    Forked r = sandboxFork([&] { OpenInputFile(missing.c_str(), 2); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR: can't open file, " + missing + "\n");
    std::string longPath = tmp / std::string(400, 'l');
    EXPECT_EQ(OpenInputFile(longPath.c_str(), 0), 0);
    EXPECT_EQ(strlen(InputFileName), (size_t)INPUTFILENAME_SIZE - 1);
    EXPECT_EQ(OpenInputFileF(0, "%s/%s", tmp.path.c_str(), std::string(600, 'l').c_str()), 0);
    EXPECT_EQ(OpenInputFileF(0, "%s/in", tmp.path.c_str()), 0);
    Put("x\n");
    EXPECT_EQ(OpenInputFileF(0, "%s/in", tmp.path.c_str()), 1);
}

TEST_F(InputTest, OpenFile) {
    std::string f = Put("data\n");
    FILE *a = OpenFile(nullptr, f.c_str(), "rt", 0);
    ASSERT_NE(a, nullptr);
    FILE *b = OpenFile(a, f.c_str(), "rt", 0);
    ASSERT_NE(b, nullptr);
    fclose(b);
    std::string missing = tmp / "missing";
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenFile(nullptr, missing.c_str(), "rt", 1), nullptr);
    EXPECT_EQ(OpenFileF(nullptr, "rt", 1, "%s/%s", tmp.path.c_str(), std::string(600, 'x').c_str()),
              nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.substr(0, err.find('\n') + 1), "ERROR: can't open file, " + missing + "\n");
    Forked r = sandboxFork([&] { OpenFile(nullptr, missing.c_str(), "rt", 2); });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(": can't open file, " + missing + " : "), std::string::npos);
    testing::internal::CaptureStdout();
    EXPECT_LT(OpenRawFile(missing.c_str(), O_RDONLY), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: can't open file, " + missing);
}

TEST_F(InputTest, WholeFileReads) {
    std::string f = Put("hello world\n");
    ASSERT_EQ(GetFileContent(tmp.path.c_str(), "in"), 1);
    EXPECT_STREQ(LineBuf, "hello world\n");
    char buf[6];
    ASSERT_EQ(GetFileContentR(f.c_str(), nullptr, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(GetFileContent(tmp.path.c_str(), "missing"), 0);
    char *all = GetSavedFileContent(tmp.path.c_str(), "in");
    EXPECT_STREQ(all, "hello world\n");
    EXPECT_EQ(SavedFileSize, 12);
    PutMem(all);
    writeFile(tmp / "one", "x");
    all = GetSavedFileContent((tmp / "one").c_str(), nullptr);
    EXPECT_STREQ(all, "");
    PutMem(all);
    writeFile(tmp / "empty", "");
    EXPECT_EQ(GetSavedFileContent(tmp.path.c_str(), "empty"), nullptr);
    EXPECT_EQ(SavedFileSize, 0);
    std::string big(5000, 'b');
    writeFile(tmp / "big", big);
    ASSERT_EQ(GetFileContent(tmp.path.c_str(), "big"), 1);
    EXPECT_EQ(strlen(LineBuf), 4095u);
}

TEST_F(InputTest, FileSearchAndPositionedReads) {
    std::string f = Put("alpha\nbeta gamma\ndelta\n");
    EXPECT_STREQ(FileSearch(f.c_str(), "gam", 0), "beta gamma\n");
    EXPECT_STREQ(FileSearch(f.c_str(), nullptr, 0), "alpha\n");
    EXPECT_EQ(FileSearch(f.c_str(), "zeta", 0), nullptr);
    EXPECT_EQ(FileSearch((tmp / "missing").c_str(), "a", 0), nullptr);
    FILE *in = fopen(f.c_str(), "r");
    char buf[32];
    EXPECT_STREQ(fgetsp(buf, sizeof buf, in, 6), "beta gamma\n");
    fclose(in);
}

// Names are compared whole and literally: no patterns, blanks only inside
// the listing's own items.
TEST_F(FindFileTest, NamesAreLiteral) {
    writeFile(tmp / "*", "x");
    writeFile(tmp / "a b", "x");
    const FindCase cases[] = {
        {"@", "*", 1},      {"@", "p*", 0},       {"@", "pass?d", 0}, {"@", "[p]asswd", 0},
        {"@", "a b", 1},    {"@", "PASSWD", 0},   {"etc", "*", 0},    {"@", "etc/*", 0},
        {"@", "etc/..", 1}, {"@", "./passwd", 1}, {"@", "../", 1},
    };
    for (const FindCase &c : cases) {
        SCOPED_TRACE(std::string(c.dir) + " | " + c.name);
        EXPECT_EQ(FindFile(Dir(c.dir).c_str(), c.name), c.expected);
    }
}

// A path without a directory part is looked up in the working directory.
TEST_F(FindFileTest, RelativePathsUseTheWorkingDirectory) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(tmp.path.c_str()), 0);
    const struct {
        const char *dir, *name;
        char expected;
    } cases[] = {
        {nullptr, "passwd", 1}, {nullptr, "etc/passwd", 1}, {"passwd", "", 1},
        {"etc", "passwd", 1},   {nullptr, "nothing", 0},    {".", "etc", 1},
        {"", "passwd", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.dir ? c.dir : "(null)") + " | " + c.name);
        EXPECT_EQ(FindFile(c.dir, c.name), c.expected);
    }
    ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(InputTest, BoundedReadsBySize) {
    Put("0123456789");
    const struct {
        int size;
        const char *expected;
    } cases[] = {{1, ""}, {2, "0"}, {10, "012345678"}, {11, "0123456789"}, {64, "0123456789"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        char buf[64];
        memset(buf, '#', sizeof buf);
        ASSERT_EQ(GetFileContentR(tmp.path.c_str(), "in", buf, c.size), 1);
        EXPECT_STREQ(buf, c.expected);
    }
    char buf[8] = "keep";
    EXPECT_EQ(GetFileContentR(tmp.path.c_str(), "missing", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "keep");
}

TEST_F(InputTest, SavedContentBySize) {
    const size_t sizes[] = {0, 1, 2, 3, 4095, 4096, 70000};
    for (size_t n : sizes) {
        SCOPED_TRACE(n);
        std::string text(n, 'v');
        if (n > 1) text[n - 1] = 'e';
        writeFile(tmp / "f", text);
        char *all = GetSavedFileContent((tmp / "f").c_str(), nullptr);
        EXPECT_EQ(SavedFileSize, (int)n);
        if (n == 0) {
            EXPECT_EQ(all, nullptr);
            continue;
        }
        ASSERT_NE(all, nullptr);
        EXPECT_EQ(std::string(all), n == 1 ? "" : text);
        PutMem(all);
    }
    EXPECT_EQ(GetSavedFileContent(tmp.path.c_str(), "missing"), nullptr);
    EXPECT_EQ(SavedFileSize, 0);
}

TEST_F(InputTest, OpenFileModes) {
    std::string f = tmp / "m";
    const struct {
        const char *mode, *before, *after;
        bool opens;
    } cases[] = {
        {"w", "old", "", true}, {"a", "old", "old", true},       {"r", nullptr, nullptr, false},
        {"rt", "x", "x", true}, {"r+", nullptr, nullptr, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        unlink(f.c_str());
        if (c.before) writeFile(f, c.before);
        testing::internal::CaptureStderr();
        FILE *h = OpenFile(nullptr, f.c_str(), c.mode, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(h != nullptr, c.opens);
        if (h) fclose(h);
        if (c.after) {
            EXPECT_EQ(readFile(f), c.after);
        }
    }
}

TEST_F(InputTest, LineLimits) {
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {std::string(510, 'a') + "\n", {std::string(510, 'a'), "\n"}},
        {std::string(509, 'a') + "\n", {std::string(509, 'a') + "\n"}},
        {"no newline", {"no newline"}},
        {"x\\\n", {"x\\\n"}},
        {"x\\\ny\\\nz", {"x\\\ny\\\nz"}},
        {"x\\ y\nz\n", {"x\\ y\n", "z\n"}},
        {"\n\n", {"\n", "\n"}},
        {"", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        ASSERT_EQ(OpenInputFile(Put(c.text).c_str(), 0), 1);
        std::vector<std::string> got;
        while (GetFileLine())
            got.push_back(LineBuf);
        EXPECT_EQ(got, c.lines);
        EXPECT_EQ(pIn, nullptr);
    }
}

// The first token is cut with the library tokenizer, so the rest of the line
// stays available to strtok(nullptr, ...) as for any other strtok caller.
TEST_F(InputTest, TextLineLeavesTheTokenizerOnTheRestOfTheLine) {
    const struct {
        const char *text, *first, *second;
    } cases[] = {
        {"  key value\n", "key", "value"},
        {"#x\n\t\n a\tb c\n", "a", "b"},
        {"only\n", "only", nullptr},
        {" \t # not a comment\n", "#", "not"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(OpenInputFile(Put(c.text).c_str(), 0), 1);
        ASSERT_EQ(GetFileTextLine(" \t\n"), 1);
        EXPECT_STREQ(LineBuf, c.first);
        char *next = strtok(nullptr, " \t\n");
        if (c.second) {
            EXPECT_STREQ(next, c.second);
        } else {
            EXPECT_EQ(next, nullptr);
        }
    }
}

TEST_F(InputTest, SilentOpenFailureKeepsTheMessageText) {
    std::string missing = tmp / "missing";
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenInputFile(missing.c_str(), 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(std::string(Line), "can't open file, " + missing);
}

TEST(DirListTest, SearchByEmptyExtension) {
    ScratchDir tmp;
    for (const char *f : {"a.", "b.c", "plain"})
        writeFile(tmp / f, "");
    char *list = SearchDirFileList(tmp.path.c_str(), "");
    ASSERT_NE(list, nullptr);
    std::vector<std::string> items = Items(list);
    EXPECT_EQ(std::set<std::string>(items.begin(), items.end()),
              (std::set<std::string>{".", "..", "a."}));
    PutMem(list);
}

class FileChangeTest : public FakeSystem {};

TEST_F(FileChangeTest, CreateFileMakesTouchesAndSetsMode) {
    std::string dir = tmp / "opt/x";
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateFile(dir.c_str(), "f", "644", nullptr, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "...");
    std::string sh = bin + "/sh -c \"" + bin;
    std::string lines[] = {"/mkdir -p " + dir, "/touch  " + dir + "/f",
                           "/chmod  644 " + dir + "/f"};
    EXPECT_EQ(Log(), sh + lines[0] + "\n" + sh + lines[1] + "\n" + sh + lines[2] + "\n");
    std::string rec = Record();
    size_t a = rec.find("\nmkdir -p " + dir + "\n"), b = rec.find("\ntouch " + dir + "/f\n"),
           c = rec.find("\nchmod 644 " + dir + "/f\n");
    EXPECT_TRUE(a < b && b < c && c != std::string::npos);
}

TEST_F(FileChangeTest, CreateFileOnExistingDirectorySetsOwnerAndGroup) {
    testing::internal::CaptureStdout();
    CreateFile(tmp.path.c_str(), nullptr, "755", "root", "lp");
    testing::internal::GetCapturedStdout();
    std::string rec = Record();
    EXPECT_EQ(rec.find("mkdir"), std::string::npos);
    EXPECT_NE(
        rec.find("chmod 755 " + tmp.path + "\nsh -c " + bin + "/chown  root " + tmp.path + " 1>>"),
        std::string::npos);
    EXPECT_NE(rec.find("chgrp lp " + tmp.path + "\n"), std::string::npos);
}

// Mode, owner and group are each applied when given, in that order.
TEST_F(FileChangeTest, CreateFileAppliesEachGivenAttribute) {
    const struct {
        const char *name, *mode, *owner, *group;
        std::vector<std::string> commands; // after the directory, which exists
    } cases[] = {
        {nullptr, nullptr, nullptr, nullptr, {}},
        {nullptr, nullptr, "root", nullptr, {"chown root @"}},
        {nullptr, nullptr, nullptr, "lp", {"chgrp lp @"}},
        {"f", nullptr, "root", "lp", {"touch @/f", "chown root @/f", "chgrp lp @/f"}},
        {"f", "600", nullptr, "lp", {"touch @/f", "chmod 600 @/f", "chgrp lp @/f"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.commands.size()));
        unlink(record.c_str());
        testing::internal::CaptureStdout();
        CreateFile(tmp.path.c_str(), c.name, c.mode, c.owner, c.group);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(c.commands.size(), '.'));
        std::string expected;
        for (std::string cmd : c.commands) {
            for (size_t at; (at = cmd.find('@')) != std::string::npos;)
                cmd.replace(at, 1, tmp.path);
            expected += cmd + "\n";
        }
        std::string got;
        std::stringstream rec(Record());
        for (std::string line; std::getline(rec, line);)
            if (line.rfind("sh -c ", 0) != 0) got += line + "\n";
        EXPECT_EQ(got, expected);
    }
}

TEST_F(FileChangeTest, CreateFileFailureEndsTheRun) {
    setenv("FAKECMD_EXIT_mkdir", "1", 1);
    std::string dir = tmp / "new";
    Forked r = sandboxFork([&] { CreateFile(dir.c_str(), nullptr, nullptr, nullptr, nullptr); });
    unsetenv("FAKECMD_EXIT_mkdir");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, ".ERROR: mkdir: exit status 1\n");
}

TEST_F(FileChangeTest, DeleteOnlyWhatExists) {
    writeFile(tmp / "f", "");
    testing::internal::CaptureStdout();
    EXPECT_EQ(DeleteFile(tmp.path.c_str(), "f"), 0);
    EXPECT_EQ(DeleteFile(tmp.path.c_str(), "nothing"), 0);
    EXPECT_EQ(DeleteFile(nullptr, (tmp / "f").c_str()), 0);
    EXPECT_EQ(DeleteFile((tmp / "f").c_str(), nullptr), 0);
    EXPECT_EQ(DeleteFile_((tmp / "f").c_str(), nullptr), 0);
    EXPECT_EQ(DeleteFile_((tmp / "gone").c_str(), nullptr), 0);
    EXPECT_EQ(DeleteFile_(tmp.path.c_str(), "f"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".....");
    std::string f = tmp / "f";
    std::string rm = "rm -rf " + f + "\n";
    std::string sh = "sh -c " + bin + "/rm -rf " + f + " 1>>" + logPath + " 2>>" + logPath + "\n";
    EXPECT_EQ(Record(), sh + rm + sh + rm + sh + rm + sh + rm + sh + rm);
}

TEST_F(FileChangeTest, RenameIsQuietAndOnlyWhenTheOldNameExists) {
    writeFile(tmp / "old", "");
    testing::internal::CaptureStdout();
    EXPECT_EQ(RenameFile(tmp.path.c_str(), "old", "new"), 0);
    EXPECT_EQ(RenameFile(tmp.path.c_str(), "none", "new"), 0);
    EXPECT_EQ(RenameFile(nullptr, (tmp / "old").c_str(), (tmp / "x").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::string mv1 = "mv -f " + tmp / "old" + " " + tmp / "new";
    std::string mv2 = "mv -f " + tmp / "old" + " " + tmp / "x";
    EXPECT_EQ(Record(), "sh -c " + bin + "/" + mv1 + "\n" + mv1 + "\nsh -c " + bin + "/" + mv2 +
                            "\n" + mv2 + "\n");
    EXPECT_FALSE(pathExists(logPath));
}

} // namespace
