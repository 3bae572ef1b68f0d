// Tokens and strings: the tokenizer's rules and shared state, delimited lists, path helpers
// and the small string functions.
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// All tokens of text (a writable copy) with the shared tokenizer.
std::vector<std::string> Tokens(std::string text, const char *delims) {
    std::vector<std::string> out;
    for (char *t = GetToken(text.data(), delims); t; t = GetToken(nullptr, delims))
        out.emplace_back(t);
    return out;
}

using V = std::vector<std::string>;

TEST(GetToken, SplitsSkipsEmptyItemsAndUnescapes) {
    struct {
        const char *in, *delims;
        V want;
    } cases[] = {
        {",,a,,b,", ",", {"a", "b"}},
        {"a\\,b,x", ",", {"a,b", "x"}},
        {"x\\ty", ",", {"x\ty"}},
        {"a\\nb\\rc\\\\d", " ", {"a\nb\rc\\d"}},
        {"  lead  and\ttabs ", " \t", {"lead", "and", "tabs"}},
        {"", ",", {}},
        {",,,", ",", {}},
        {"\\,", ",", {","}},
        // A backslash that ends the input is a token character, or a
        // delimiter when it is one; a doubled one is an escaped backslash.
        {"ab\\", ",", {"ab\\"}},
        {"a\\", "\\", {"a"}},
        {"a\\\\b\\", "\\", {"a\\b"}},
        {"a\xe9"
         "b\xe9",
         "\xe9",
         {"a", "b"}}, // bytes above 127 as delimiters
    };
    for (auto &c : cases)
        EXPECT_EQ(Tokens(c.in, c.delims), c.want) << c.in;
}

TEST(GetToken, DelimiterStateFollowsEachToken) {
    char text[] = ",,a,,b,";
    EXPECT_STREQ(GetToken(text, ","), "a");
    EXPECT_EQ(chTokenDel, ',');
    EXPECT_STREQ(szTokenIn, ",b,");
    EXPECT_STREQ(GetToken(nullptr, ","), "b");
    EXPECT_EQ(chTokenDel, ',');
    EXPECT_EQ(GetToken(nullptr, ","), nullptr);
    EXPECT_EQ(chTokenDel, 0);
    char last[] = "a;b";
    GetToken(last, ";");
    EXPECT_STREQ(GetToken(nullptr, ";"), "b");
    EXPECT_EQ(chTokenDel, 0); // ended by the end of the input
}

TEST(GetToken, LineModeStopsAtNewline) {
    char text[] = "a b\nc";
    SetTokenBuf(text);
    EXPECT_EQ(GetTokenBufInput(), text);
    EXPECT_STREQ(GetToken(TOKEN_LINE_MODE, " \n"), "a");
    char *rest = szTokenIn;
    EXPECT_EQ(GetToken(TOKEN_LINE_MODE, " \n"), nullptr);
    EXPECT_STREQ(GetTokenBuf, "b"); // the token stays readable
    EXPECT_EQ(szTokenIn, rest);     // but the remainder is not advanced
    EXPECT_STREQ(GetToken(TOKEN_LINE_MODE, " \n"), "c");
    // Outside line mode the newline is an ordinary delimiter.
    EXPECT_EQ(Tokens("a b\nc", " \n"), (V{"a", "b", "c"}));
}

TEST(GetToken, LongTokensAreCutNotOverflowed) {
    std::string text(1000, 'k');
    text += ",next";
    EXPECT_EQ(Tokens(text, ","), (V{std::string(TOKEN_MAX, 'k'), "next"}));
    std::string escapes;
    for (int i = 0; i < 300; i++)
        escapes += "\\t";
    EXPECT_EQ(Tokens(escapes + ",x", ","), (V{std::string(TOKEN_MAX, '\t'), "x"}));
}

// The delimiter table is kept between calls: a changed set, even in the same
// buffer, and sets too long to keep must still be read afresh.
TEST(GetToken, DelimitersAreReadOnEveryCall) {
    char text[] = "a,b c;d e", delims[] = ",";
    EXPECT_STREQ(GetToken(text, delims), "a");
    delims[0] = ' ';
    EXPECT_STREQ(GetToken(nullptr, delims), "b");
    std::string many = " !\"#$%&'()*+-./0123456789<=>?@AB"; // no ';' nor 'c'
    ASSERT_GT(many.size(), 31u);
    EXPECT_STREQ(GetToken(nullptr, many.c_str()), "c;d");
    EXPECT_STREQ(GetToken(nullptr, ";"), "e");
    // Short sets are compared unrolled: one byte changed, shorter, longer.
    char walk[] = "a,b;c:d e,f gxh", kept[] = ",;:";
    EXPECT_STREQ(GetTokenParse(walk, kept), "a");
    kept[1] = ' ';
    EXPECT_STREQ(GetTokenParse(nullptr, kept), "b;c");
    EXPECT_STREQ(GetTokenParse(nullptr, ",;"), "d e");
    EXPECT_STREQ(GetTokenParse(nullptr, ",; "), "f");
    EXPECT_STREQ(GetTokenParse(nullptr, ",; x"), "g");
    EXPECT_STREQ(GetTokenParse(nullptr, ","), "h");
    char parse[] = "p;q r", line[] = "u v";
    EXPECT_STREQ(GetTokenParse(parse, ";"), "p");
    EXPECT_STREQ(GetTokenParse(nullptr, " "), "q");
    char *out[2];
    EXPECT_EQ(ParseStr(line, many.c_str(), out, 2), 2);
    EXPECT_STREQ(out[1], "v");
}

TEST(GetToken, SharedStateIsTakenOverByNestedUse) {
    char outer[] = "1,2,3", inner[] = "x y";
    EXPECT_STREQ(GetToken(outer, ","), "1");
    EXPECT_EQ(GetTokenCount(inner, " "), 2); // restores the state
    EXPECT_STREQ(GetTokenBuf, "1");
    EXPECT_STREQ(GetToken(nullptr, ","), "2");
    EXPECT_STREQ(GetTokenN(inner, " ", 2), "y"); // takes the state over
    EXPECT_EQ(GetToken(nullptr, ","), nullptr);
    EXPECT_STREQ(GetTokenN(outer, ",", 0), "1");
    EXPECT_EQ(GetTokenN(outer, ",", 4), nullptr);
}

TEST(GetTokenD, KeepsItsOwnCursor) {
    char text[] = "p q\nr", buf[TOKEN_MAX + 1];
    char *cursor = nullptr, shared[] = "s,t";
    GetToken(shared, ",");
    EXPECT_STREQ(GetTokenD(text, " \n", &cursor, buf), "p");
    EXPECT_EQ(GetTokenD(TOKEN_LINE_MODE, " \n", &cursor, buf), nullptr);
    EXPECT_STREQ(buf, "q");
    // The cursor is not moved by a line-mode stop: the token is read again.
    EXPECT_STREQ(GetTokenD(nullptr, " \n", &cursor, buf), "q");
    EXPECT_STREQ(GetTokenD(nullptr, " \n", &cursor, buf), "r");
    EXPECT_EQ(GetTokenD(nullptr, " \n", &cursor, buf), nullptr);
    EXPECT_STREQ(GetToken(nullptr, ","), "t");
}

TEST(GetTokenParse, CutsInPlace) {
    char path[] = "/usr/sbin:/usr/bin";
    char *a = GetTokenParse(path, ":");
    char *b = GetTokenParse(nullptr, ":");
    EXPECT_EQ(a, path);
    EXPECT_STREQ(a, "/usr/sbin");
    EXPECT_EQ(b, path + 10);
    EXPECT_STREQ(b, "/usr/bin");
    EXPECT_EQ(GetTokenParse(nullptr, ":"), nullptr);
    char esc[] = "::a\\:b:c";
    EXPECT_STREQ(GetTokenParse(esc, ":"), "a\\:b");
    EXPECT_EQ(esc[0], '\0');
    EXPECT_STREQ(GetTokenParse(nullptr, ":"), "c");
    // A backslash that is a delimiter still escapes, except at the end.
    char bs[] = "a\\\\b\\";
    EXPECT_STREQ(GetTokenParse(bs, "\\"), "a\\\\b");
    EXPECT_EQ(GetTokenParse(nullptr, "\\"), nullptr);
    char lines[] = "k v\nw";
    EXPECT_STREQ(GetTokenParse(lines, " \n"), "k");
    EXPECT_EQ(GetTokenParse(TOKEN_LINE_MODE, " \n"), nullptr);
    EXPECT_STREQ(GetTokenParse(TOKEN_LINE_MODE, " \n"), "w");
}

TEST(ParseStr, SplitsUpToMax) {
    char text[] = " one two  three four";
    char *out[3] = {text, text, text};
    EXPECT_EQ(ParseStr(text, " ", out, 3), 3);
    EXPECT_STREQ(out[0], "one");
    EXPECT_STREQ(out[2], "three");
    char few[] = "a";
    EXPECT_EQ(ParseStr(few, " ", out, 3), 1);
    EXPECT_EQ(out[1], nullptr);
    EXPECT_EQ(ParseStr(nullptr, " ", out, 3), 0);
    EXPECT_EQ(ParseStr(few, " ", out, 0), 0);
}

TEST(FindToken, PositionsAndLastItemRule) {
    struct {
        const char *name, *list;
        int exact, nocase;
    } cases[] = {
        {"b", ",a,b,", 2, 2},
        {"b", ",a,b", 2, 2},
        {"B", ",a,b,", 0, 2},
        {"a", "a,b", 0, 0},
        {"", ",a,b,", 3, 3},
        {".", ";.;..;", 1, 1},
        {"..", ";.;..;", 2, 2},
        {"install", ",install,-v", 1, 1},
        {"-v", ",install,-v", 2, 2},
        {"-V", ",install,-v", 0, 2},
        {"inst", ",install,-v", 0, 0},
        {"passwd", " . .. passwd ", 3, 3},
        {"pass", " . .. passwd ", 0, 0},
        {nullptr, ",a,", 0, 0},
        {"a", nullptr, 0, 0},
        {"a", "", 0, 0},
    };
    for (auto &c : cases) {
        EXPECT_EQ(FindToken(c.name, c.list), c.exact) << (c.name ? c.name : "null");
        EXPECT_EQ(FindTokenC(c.name, c.list), c.nocase) << (c.name ? c.name : "null");
    }
}

TEST(FindToken, ItemLimitIs509) {
    std::string item509(509, 'x'), item510(510, 'x');
    std::string list = "," + item509 + "," + item510 + ",";
    EXPECT_EQ(FindToken(item509.c_str(), list.c_str()), 1);
    EXPECT_EQ(FindTokenC(item509.c_str(), list.c_str()), 1);
    EXPECT_EQ(FindToken(item510.c_str(), list.c_str()), 0);
    EXPECT_EQ(FindTokenC(item510.c_str(), list.c_str()), 0);
}

TEST(FindTokenWithDelim, OptionalLeadingDelimiter) {
    EXPECT_EQ(FindTokenWithDelim("a:b:c", "c", ':'), 3);
    EXPECT_EQ(FindTokenWithDelim(":a:b:c", "a", ':'), 1);
    EXPECT_EQ(FindTokenWithDelim("a:b:", "", ':'), 3);
    EXPECT_EQ(FindTokenWithDelim("a:b", "x", ':'), 0);
    EXPECT_EQ(FindTokenWithDelim(nullptr, "x", ':'), 0);
}

TEST(SortTokens, ByteOrderAndCaseless) {
    char a[] = ",pear,Apple,fig,apple,";
    SortTokens(a, ',', 0);
    EXPECT_STREQ(a, ",Apple,apple,fig,pear,");
    char b[] = ",pear,Banana,apple";
    SortTokens(b, ',', 1);
    EXPECT_STREQ(b, ",apple,Banana,pear");
    char c[] = "ab;a;abc";
    SortTokens(c, ';', 0);
    EXPECT_STREQ(c, "a;ab;abc");
}

TEST(Paths, SplitIntoStaticResults) {
    struct {
        const char *src, *path, *fn, *ext, *pathExt;
    } cases[] = {
        {"/usr/lib/", "lib", "/usr/lib", "/usr/lib/", "lib"},
        {"/x", "x", "/", "/x", "x"},
        {"x", "x", ".", "x", "x"},
        {"a.b.c", "a.b.c", ".", "a", "a"},
        {".profile", ".profile", ".", ".profile", ""},
        {"/d.e/f.tar.Z", "f.tar.Z", "/d.e", "/d", "f"},
        {"", "", ".", "", ""},
        {nullptr, "", ".", "", ""},
    };
    for (auto &c : cases) {
        const char *label = c.src ? c.src : "null";
        EXPECT_STREQ(StripPath(c.src), c.path) << label;
        EXPECT_STREQ(StripFn(c.src), c.fn) << label;
        EXPECT_STREQ(StripExt(c.src), c.ext) << label;
        EXPECT_STREQ(StripPathExt(c.src), c.pathExt) << label;
    }
    EXPECT_STREQ(StripPathName(nullptr), "");
    EXPECT_STREQ(StripPathName(".."), "");
    EXPECT_STREQ(StripPathName("name.ext/rest"), "ext");
}

TEST(Paths, EachFunctionKeepsItsOwnResult) {
    // A result stays valid until the next call of the same function, so a
    // caller may hold one result of each while calling the others.
    struct {
        char *(*fn)(const char *);
        const char *src, *want;
    } funcs[] = {
        {StripPath, "/p/path.x", "path.x"}, {StripFn, "/fn/dir/f", "/fn/dir"},
        {StripExt, "ext.y", "ext"},         {StripPathExt, "/q/pathext.z", "pathext"},
        {StripPathName, "pn.name", "name"},
    };
    for (auto &held : funcs) {
        char *result = held.fn(held.src);
        for (auto &other : funcs)
            if (other.fn != held.fn) other.fn("/clobber/other.c");
        EXPECT_STREQ(result, held.want) << held.src;
    }
}

TEST(Paths, OverlongInputsAreCut) {
    std::string longName(300, 'n'), longDir = "/" + std::string(400, 'd') + "/f";
    EXPECT_EQ(std::string(StripPath(longName.c_str())).size(), 127u);
    EXPECT_EQ(std::string(StripFn(longDir.c_str())).size(), 255u);
    EXPECT_EQ(std::string(StripExt(longName.c_str())).size(), 127u);
}

TEST(StringHelpers, SearchesAndEdits) {
    const char *s = "a\\,b,c,d";
    EXPECT_EQ(StrChr(s, ','), s + 4);
    EXPECT_EQ(StrChr("abc", 'z'), nullptr);
    const char *t = "a,b,c";
    EXPECT_EQ(StrNChr(t, ',', 2), t + 3);
    EXPECT_EQ(StrNChr(t, ',', 3), nullptr);
    EXPECT_EQ(StrNChr(t, ',', 0), nullptr);
    const char *u = "aaaa";
    EXPECT_EQ(StrNStr(u, "aa", 3), u + 2); // overlapping hits
    EXPECT_EQ(StrNStr(u, "aa", 4), nullptr);
    EXPECT_EQ(StrStr(u, ""), nullptr);
    EXPECT_EQ(StrStr(nullptr, "a"), nullptr);
    const char *v = "Hello World";
    EXPECT_EQ(StrCaseStr(v, "WORLD"), v + 6);
    EXPECT_STREQ(SkipSpace(" \t x"), "x");
    EXPECT_EQ(SkipSpace(nullptr), nullptr);
    EXPECT_EQ(StrLen(nullptr), 0);
    char bs[] = "a\\b\\\\c";
    EXPECT_STREQ(StripAllBackslashes(bs), "abc");
    char np[] = "a\tb\nc\r\x01"
                "d";
    EXPECT_STREQ(StripNonPrint(np, 1), "abcd");
    unsigned char src[4] = {1, 2, 3, 4}, dst[4];
    SetVarContent(dst, src, 4, 1);
    EXPECT_EQ(dst[0], 4);
    EXPECT_EQ(dst[3], 1);
    SetVarContent(dst, src, 4, 0);
    EXPECT_EQ(dst[0], 1);
    EXPECT_EQ(MaxD(2.5, -1), 2.5);
}

TEST(StringHelpers, StrChrSkipsEscapedCharacters) {
    struct {
        const char *desc, *s;
        char c;
        int want; // offset of the hit, -1 for none
    } cases[] = {
        {"plain hit", "abc", 'b', 1},
        {"escaped hit is skipped", "a\\,b,c", ',', 4},
        {"escaped backslash does not hide the next one", "a\\\\,b", ',', 3},
        {"only escaped hits", "\\,\\,", ',', -1},
        {"unescaped backslash is itself a hit", "a\\b", '\\', 1},
        {"escaped backslash is not", "\\\\", '\\', 0},
        {"backslash ending the text", "ab\\", '\\', 2},
        {"single backslash at the end hides nothing", "ab\\", 'x', -1},
        {"empty text", "", 'a', -1},
    };
    for (auto &c : cases) {
        const char *hit = StrChr(c.s, c.c);
        EXPECT_EQ(hit ? (int)(hit - c.s) : -1, c.want) << c.desc;
    }
    EXPECT_EQ(StrChr(nullptr, 'a'), nullptr);
}

TEST(StringHelpers, SearchEdges) {
    struct {
        const char *desc, *s, *t;
        int plain, nocase; // offsets, -1 for none
    } cases[] = {
        {"first of several", "abcabc", "bc", 1, 1},
        {"case differs", "abCD", "cd", -1, 2},
        {"pattern longer than text", "ab", "abc", -1, -1},
        {"pattern at the very end", "xyZ", "Z", 2, 2},
        {"empty pattern", "abc", "", -1, -1},
        {"empty text", "", "a", -1, -1},
        {"null pattern", "abc", nullptr, -1, -1},
        {"null text", nullptr, "a", -1, -1},
    };
    for (auto &c : cases) {
        const char *a = StrStr(c.s, c.t), *b = StrCaseStr(c.s, c.t);
        EXPECT_EQ(a ? (int)(a - c.s) : -1, c.plain) << c.desc;
        EXPECT_EQ(b ? (int)(b - c.s) : -1, c.nocase) << c.desc;
    }
    struct {
        const char *desc, *s, *pat;
        int n, want;
    } nth[] = {
        {"first", "a.b.c", ".", 1, 1},      {"second", "a.b.c", ".", 2, 3},
        {"too few", "a.b.c", ".", 3, -1},   {"overlapping hits", "aaaa", "aa", 2, 1},
        {"n below one", "a.b", ".", 0, -1}, {"null text", nullptr, ".", 1, -1},
    };
    for (auto &c : nth) {
        const char *hit = StrNStr(c.s, c.pat, c.n);
        EXPECT_EQ(hit ? (int)(hit - c.s) : -1, c.want) << c.desc;
    }
    EXPECT_EQ(StrNChr(nullptr, ',', 1), nullptr);
    EXPECT_EQ(StrNChr("a,b", ',', -1), nullptr);
    const char *blanks = " \t\n\v\f\r";
    EXPECT_EQ(SkipSpace(blanks), blanks + 6); // all blank: the terminator
    EXPECT_EQ(StrLen(""), 0);
    EXPECT_EQ(StrLen("abc"), 3);
}

TEST(StringHelpers, InPlaceEdits) {
    struct {
        const char *desc, *in, *nonPrint, *noBackslash;
    } cases[] = {
        {"printable text is kept", "a b~", "a b~", "a b~"},
        {"controls, newline and return go", "\ta\nb\r\x7f", "ab", "\ta\nb\r\x7f"},
        {"bytes above 127 go", "x\xe9y\xffz", "xyz", "x\xe9y\xffz"},
        {"backslashes are printable", "a\\b\\\\", "a\\b\\\\", "ab"},
        {"empty", "", "", ""},
    };
    for (auto &c : cases) {
        for (int flag : {0, 1}) {
            std::string buf = c.in;
            EXPECT_EQ(StripNonPrint(buf.data(), flag), buf.data()) << c.desc;
            EXPECT_STREQ(buf.c_str(), c.nonPrint) << c.desc << " flag " << flag;
        }
        std::string buf = c.in;
        EXPECT_EQ(StripAllBackslashes(buf.data()), buf.data()) << c.desc;
        EXPECT_STREQ(buf.c_str(), c.noBackslash) << c.desc;
    }
    EXPECT_EQ(StripNonPrint(nullptr, 0), nullptr);
    EXPECT_EQ(StripAllBackslashes(nullptr), nullptr);
    // A swap over overlapping storage still reverses the original bytes.
    unsigned char b[4] = {1, 2, 3, 4};
    SetVarContent(b, b, 4, 1);
    EXPECT_EQ(b[0], 4);
    EXPECT_EQ(b[1], 3);
    EXPECT_EQ(b[3], 1);
    EXPECT_EQ(MaxD(-3, -2), -2);
}

TEST(StringHelpers, UnitConversion) {
    EXPECT_FLOAT_EQ(CvtFloatFormat(1, 0, 2), 72.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(72, 2, 1), 2.54f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(2.54f, 1, 0), 1.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(5, 1, 1), 5.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(5, 3, 0), 5.0f);
    struct {
        const char *desc;
        float x;
        int from, to;
        float want;
    } cases[] = {
        {"inch to cm", 2, 0, 1, 5.08f},
        {"inch to point", 0.5f, 0, 2, 36},
        {"cm to inch", 5.08f, 1, 0, 2},
        {"cm to point", 2.54f, 1, 2, 72},
        {"point to inch", 36, 2, 0, 0.5f},
        {"point to cm", 72, 2, 1, 2.54f},
        {"negative lengths scale too", -1, 0, 2, -72},
        {"unknown target unit", 7, 0, 3, 7},
        {"negative unit", 7, -1, 2, 7},
        {"point to point", 7, 2, 2, 7},
    };
    for (auto &c : cases)
        EXPECT_FLOAT_EQ(CvtFloatFormat(c.x, c.from, c.to), c.want) << c.desc;
}

TEST(FindExistingPath, ClimbsToTheLongestExistingPart) {
    char tmpl[] = "/tmp/tokens_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    FILE *f = fopen((dir + "/file").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    struct {
        std::string path, want;
        int exists;
    } cases[] = {
        {dir, dir, 1},
        {dir + "/", dir, 1},
        {dir + "/a/b/c", dir, -1},
        {"/", "/", 1},
        {"no_such_dir_here/x", ".", -1},
        {"no_such_dir_here", ".", -1},
        {".", ".", 1},
        {"./", ".", 1},
        {dir + "/file", dir + "/file", 1},
        {dir + "/file/x", dir + "/file", -1},
        {"/no_such_dir_here/x/y", "/", -1},
        // Nothing was named, so nothing named exists.
        {"", ".", -1},
    };
    for (auto &c : cases) {
        int flag = -1;
        char *got = FindExistingPath(c.path.c_str(), &flag);
        EXPECT_STREQ(got, c.want.c_str()) << c.path;
        EXPECT_EQ(flag, c.exists) << c.path;
        PutMem(got);
    }
    int flag = -1;
    char *got = FindExistingPath(nullptr, &flag);
    EXPECT_STREQ(got, ".");
    EXPECT_EQ(flag, -1);
    PutMem(got);
    unlink((dir + "/file").c_str());
    rmdir(tmpl);
}

} // namespace
