// Entry validation: the format language element by element, ranges, and the prompts.
#include "toolkit/textmenu/validate.h"

#include <cstring>
#include <gtest/gtest.h>

#include "tests/toolkit/textmenu/menu_io.h"
#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/memory.h"

using menutest::Console;
using menutest::Msg;
using menutest::MsgF;

namespace {

// The English catalogue built with the project, so that the messages show
// their arguments.
class EnglishCatalogue : public ::testing::Environment {
  public:
    void SetUp() override { pDrvCoreDB = DbTOpen(BINARY_DIR "/nls/db/en_US/CoreString.odb", 0); }
    void TearDown() override {
        DbTClose(pDrvCoreDB);
        pDrvCoreDB = nullptr;
    }
};
const auto *const kCatalogue = ::testing::AddGlobalTestEnvironment(new EnglishCatalogue);

// What PostMsg shows for an already formatted message.
std::string Posted(const std::string &text) {
    return text + Msg(25, 1001);
}

std::string Fmt(const char *format, ...) {
    char out[4096];
    va_list ap;
    va_start(ap, format);
    vsnprintf(out, sizeof out, format, ap);
    va_end(ap);
    return out;
}

struct EntryCase {
    const char *format;
    const char *entry;
    int code;
    std::string shown; // everything printed, "" when nothing
};

TEST(ValidateEntry, DocumentedCases) {
    ValidateEntry("", ""); // fetches the range messages
    const std::string intRange = Fmt(pErrIntRange, 1, 10);
    const EntryCase cases[] = {
        {"/A(1,255)+-+_+/", "/tmp/my-set_1", 0, ""},
        {"/A(1,255)+-+_+/", "tmp", 3, ""},
        {"/A(1,255)+-+_+/", "/a b", 3, Posted(MsgF(25, 1007, ' ', "-_/"))},
        {"d(1,10)", "5", 0, ""},
        {"d(1,10)", "11", 1, Posted(intRange)},
        {"d(1,10)", "-3", 3, Posted("Invalid digit:  -\n")},
        {"d(1,10)", "12a", 3, Posted("Invalid digit:  a\n")},
        {"L(4,4)", "abc", 2, Posted(MsgF(30, 44, 4))},
        {"L(2,8)", "a", 2, Posted(MsgF(30, 42, 2, 8))},
        {"L(2,3)|L(5,5)", "ab", 0, ""},
        {"L(2,3)|L(5,5)", "abcde", 0, ""},
        {"L(2,3)|L(5,5)", "abcd", 2, Posted(MsgF(30, 44, 5))},
        {"f(0,1)", "0.5", 0, ""},
        {"f(0,1)", "1.5", 1, Posted(Fmt("This number must be between %f to %f.", 0.0, 1.0))},
        {"f(0,1)", "1..2", 1, Posted(Msg(25, 1020))},
        {"f(0,1)", "1,5", 3, Posted(MsgF(25, 1006, ','))},
        {nullptr, "anything", 0, ""},
        {"", "", 0, ""},
        {"/", "/abc", 0, ""},
    };
    for (const EntryCase &c : cases) {
        Console con("\n");
        EXPECT_EQ(ValidateEntry(c.entry, c.format), c.code) << c.format << " / " << c.entry;
        EXPECT_EQ(con.Output(), c.shown) << c.format << " / " << c.entry;
    }
}

TEST(ValidateEntry, MoreElements) {
    // The range messages are fetched by the first check; the table below
    // formats one of them, so make sure it is there when run on its own.
    ASSERT_EQ(ValidateEntry("1", "d(1,2)"), 0);
    const EntryCase cases[] = {
        {"12", "13", 3, Posted(MsgF(25, 1010, '3', '2', "1"))},
        {"a(1,5)", "abc1", 3, Posted(MsgF(25, 1008, '1', ""))},
        {"a(1,5)+1", "abc1", 0, ""},
        {"p(1,5)", "a\tb", 3, Posted(MsgF(25, 1007, '\t', ""))},
        {"t(2,3)", "abcd", 2, Posted(MsgF(30, 42, 2, 3))},
        {"L(0,0)", "anything at all", 0, ""},
        {"!(root)", "root", 4, Posted(MsgF(25, 1009, "root"))},
        {"!(root)", "roots", 0, ""},
        {"!(a\\)b)", "a)b", 4, Posted(MsgF(25, 1009, "a)b"))},
        {"x(1,255)", "ff", 0, ""},
        {"D(1,5)", "2.5", 0, ""},
        {"D(1,5)", "2x", 3, Posted("Invalid character 'x'\nThis text may contain \"0123456789.\"")},
        {"d(1,10)-5", "5", 3, Posted("Invalid digit:  5\n")},
        {"d(1,10)|L(1,9)", "11", 1, Posted(Fmt(pErrIntRange, 1, 10))}, // reported at once
        {"L(1,2)&A(1,9)", "abc", 2, Posted(MsgF(30, 42, 1, 2))},
        {"A(1,9)&L(3,3)", "abc", 0, ""},
        {"d(1,10).d(0,59)", "10.30", 3, Posted("Invalid digit:  .\n")}, // whole entry digits
        {" / A ( 1 , 9 ) ", "/x", 0, ""},
    };
    for (const EntryCase &c : cases) {
        Console con("\n");
        EXPECT_EQ(ValidateEntry(c.entry, c.format), c.code) << c.format << " / " << c.entry;
        EXPECT_EQ(con.Output(), c.shown) << c.format << " / " << c.entry;
    }
}

// After a failed test the rest of its alternative is passed over character by
// character up to the next "|" or "&", whatever element those stand in.
TEST(ValidateEntry, FailedAlternativeEndsAtNextBarOrAmpersand) {
    const EntryCase cases[] = {
        // the "&" of a later pair ends the alternative: the failure is reported
        {"L(1,2)A(1,9)+&|L(1,9)", "abc", 2, Posted(MsgF(30, 42, 1, 2))},
        // the "|" inside a later forbidden text starts the next alternative,
        // whose literal "b" fails with nothing matched yet
        {"L(1,2)!(a|b)", "abc", 3, ""},
        {"L(1,2)!(a|b)", "bcd", 3, Posted(MsgF(25, 1010, 'c', ')', "b"))},
        // without a failure both elements are read whole
        {"L(1,9)A(1,9)+&", "a&b", 0, ""},
        {"L(1,9)!(a|b)", "a|b", 4, Posted(MsgF(25, 1009, "a|b"))},
    };
    for (const EntryCase &c : cases) {
        Console con("\n");
        EXPECT_EQ(ValidateEntry(c.entry, c.format), c.code) << c.format << " / " << c.entry;
        EXPECT_EQ(con.Output(), c.shown) << c.format << " / " << c.entry;
    }
}

// Every element with a passing and a failing entry, pairs, bounds with
// max 0, and the text so far that a later literal reports.
TEST(ValidateEntry, ElementByElement) {
    ASSERT_EQ(ValidateEntry("1", "d(1,2)"), 0);
    const EntryCase cases[] = {
        // A: letters, digits and the "+" characters; "-" pairs do not count
        {"A(1,9)", "ab12", 0, ""},
        {"A(1,9)", "ab_1", 3, Posted(MsgF(25, 1007, '_', ""))},
        {"A(1,9)+_+.", "a_b.c", 0, ""},
        {"A(1,9)-a", "abc", 0, ""},
        {"A(2,3)", "abcd", 2, Posted(MsgF(30, 42, 2, 3))},
        {"A(2,0)", "a", 0, ""},                        // max 0: no length check
        {"A(1,9)", "", 2, Posted(MsgF(30, 42, 1, 9))}, // length of the whole entry
        {"A(1,9)", "x y", 3, Posted(MsgF(25, 1007, ' ', ""))},
        // a: letters and "+" characters only
        {"a(1,9)", "Abc", 0, ""},
        {"a(1,9)+1+2", "a1b2", 0, ""},
        {"a(1,9)+1", "a2", 3, Posted(MsgF(25, 1008, '2', "1"))},
        {"a(3,3)", "ab", 2, Posted(MsgF(30, 44, 3))},
        // p: printable characters
        {"p(1,9)", "a b!~", 0, ""},
        {"p(1,2)", "abc", 2, Posted(MsgF(30, 42, 1, 2))},
        // L and t: length of the whole entry, whatever came before
        {"/L(3,3)", "/ab", 0, ""},
        {"/L(2,2)", "/ab", 2, Posted(MsgF(30, 44, 2))},
        {"t(0,0)", "", 0, ""},
        {"t(1,1)", "", 2, Posted(MsgF(30, 44, 1))},
        // a "t" without "(" is a forbidden text
        {"t[root)", "root", 4, Posted(MsgF(25, 1009, "root"))},
        {"t[root)", "other", 0, ""},
        // d: whole entry digits, minus pairs forbidden, range, max 0
        {"d(0,0)", "123456", 0, ""},
        {"d(5,0)", "1", 0, ""},
        {"d(1,10)", "10", 0, ""},
        {"d(1,10)", "0", 1, Posted(Fmt(pErrIntRange, 1, 10))},
        {"d(1,100)-0", "10", 3, Posted("Invalid digit:  0\n")},
        {"d(1,100)+a", "1a", 3, Posted("Invalid digit:  a\n")},
        {"d(1,10)", " 5", 3, Posted("Invalid digit:   \n")},
        // x: hexadecimal at the entry position, bounds decimal
        {"x(10,20)", "a", 0, ""},
        {"x(10,20)", "15", 1, Posted(Fmt(pErrFloatRange, 10, 20))},
        {"x(0,0)", "fffff", 0, ""},
        {"/x(1,255)", "/FF", 0, ""},
        // f: digits and one point from the entry position
        {"f(0,1)", "1", 0, ""},
        {"f(0,0)", "123.5", 0, ""},
        {"f(0.5,1.5)", "0.4", 1, Posted(Fmt("This number must be between %f to %f.", 0.5, 1.5))},
        {"f(0,1)", "-1", 3, Posted(MsgF(25, 1006, '-'))},
        {"f(0,1)", "1.2.", 1, Posted(Msg(25, 1020))},
        {"f(0,1)", "1..a", 3, Posted(MsgF(25, 1006, 'a'))},
        {"/f(0,1)", "/0.5", 0, ""},
        // D: whole entry digits and points, minus pairs forbidden
        {"D(0,0)", "99.5", 0, ""},
        {"D(1,5)-.", "2.5", 3,
         Posted("Invalid character '.'\nThis text may contain \"0123456789.\"")},
        {"D(1,5)", "0.5", 1, Posted(Fmt(pErrLongRange, (long double)1, (long double)5))},
        // !: the whole entry, backslash escapes of the tokenizer
        {"!(ab)", "abc", 0, ""},
        {"!(a\\tb)", "a\tb", 4, Posted(MsgF(25, 1009, "a\tb"))},
        {"!(a\\qb)", "aqb", 4, Posted(MsgF(25, 1009, "aqb"))},
        {"A(1,9)&!(root)", "root", 4, Posted(MsgF(25, 1009, "root"))},
        // literals: exact, case-sensitive, text so far in the report
        {"q:r", "q:r", 0, ""},
        {"q:r", "q:R", 3, Posted(MsgF(25, 1010, 'R', 'r', "q:"))},
        {"qr", "q", 3, Posted(MsgF(25, 1010, ' ', 'r', "q"))},
        {"q|r", "s", 3, ""},
        {"qr|sv", "sx", 3, Posted(MsgF(25, 1010, 'x', 'v', "s"))},
        {"qr&qs", "qr", 3, Posted(MsgF(25, 1010, 'r', 's', "q"))},
        {"qr&q", "qr", 0, ""},
        // "|" after a passing alternative ends the check, later ones unread
        {"L(1,9)|d(1,2)", "abc", 0, ""},
        // a failed literal followed by a failing later alternative: the last
        // failure is the one reported
        {"qr|L(5,5)", "qx", 2, Posted(MsgF(30, 44, 5))},
        {"L(5,5)|qr", "qx", 3, Posted(MsgF(25, 1010, 'x', 'r', "q"))},
        // blanks, tabs and newlines of the format are ignored
        {"q r\ts\n/", "qrs/", 0, ""},
    };
    for (const EntryCase &c : cases) {
        Console con("\n");
        EXPECT_EQ(ValidateEntry(c.entry, c.format), c.code) << c.format << " / " << c.entry;
        EXPECT_EQ(con.Output(), c.shown) << c.format << " / " << c.entry;
    }
}

// A number takes its own characters into the text so far; the one character
// after it is passed over without being taken.
TEST(ValidateEntry, NumbersSkipTheCharacterAfterThem) {
    ASSERT_EQ(ValidateEntry("1", "d(1,2)"), 0);
    const EntryCase cases[] = {
        {"x(0,255)x(0,255)", "ff.1f", 0, ""},
        {"x(0,255)x(0,255)/", "ff.1f", 3, Posted(MsgF(25, 1010, ' ', '/', "ff1f"))},
        {"x(0,255)/", "ff:", 3, Posted(MsgF(25, 1010, ' ', '/', "ff"))},
        {"f(0,9)/", "1.5", 3, Posted(MsgF(25, 1010, ' ', '/', "1.5"))},
        {"d(0,99)", "42", 0, ""},
        {"D(0,99)-.q", "12", 3, Posted(MsgF(25, 1010, ' ', 'q', "12"))},
        {"qx(0,255)r", "q1fzr", 0, ""},
        {"qx(0,255)rs", "q1fzrz", 3, Posted(MsgF(25, 1010, 'z', 's', "q1fr"))},
    };
    for (const EntryCase &c : cases) {
        Console con("\n");
        EXPECT_EQ(ValidateEntry(c.entry, c.format), c.code) << c.format << " / " << c.entry;
        EXPECT_EQ(con.Output(), c.shown) << c.format << " / " << c.entry;
    }
}

TEST(ValidateEntry, HexAndLongRanges) {
    {
        Console con("\n");
        EXPECT_EQ(ValidateEntry("1ff", "x(1,255)"), 1);
        EXPECT_EQ(con.Output(), Posted(Fmt(pErrFloatRange, 1, 255)));
    }
    {
        Console con("\n");
        EXPECT_EQ(ValidateEntry("7", "D(1,5)"), 1);
        EXPECT_EQ(con.Output(), Posted(Fmt(pErrLongRange, (long double)1, (long double)5)));
    }
}

TEST(ValidateEntry, LongEntriesAreSafe) {
    std::string entry = "/" + std::string(3000, 'a');
    Console con("\n");
    EXPECT_EQ(ValidateEntry(entry.c_str(), "/A(1,255)"), 2);
    entry = std::string(3000, 'a') + "x";
    EXPECT_EQ(ValidateEntry(entry.c_str(), std::string(3000, 'a').append("y").c_str()), 3);
}

TEST(ValidateEntryTty, LengthThenDigits) {
    {
        Console con("\n");
        EXPECT_EQ(ValidateEntryTty("123", nullptr), 2);
        EXPECT_EQ(con.Output(), Posted(MsgF(30, 44, 4)));
    }
    {
        Console con("\n");
        EXPECT_EQ(ValidateEntryTty("12a4", nullptr), 3);
        EXPECT_EQ(con.Output(), Posted("Invalid digit:  a\n"));
    }
    Console con;
    EXPECT_EQ(ValidateEntryTty("1234", nullptr), 0);
    EXPECT_EQ(ValidateEntryTty("12", "(1,3)"), 0);
    EXPECT_EQ(con.Output(), "");
    EXPECT_EQ(ValidateEntryLen(nullptr, "(1,3)"), std::string(MsgF(30, 42, 1, 3)));
    EXPECT_EQ(ValidateEntryLen("", "(0,3)"), nullptr);
    EXPECT_EQ(ValidateEntryDigit("0123456789"), 0);
    EXPECT_EQ(ValidateEntryDigit("12-"), '-');
    int min = -1;
    EXPECT_EQ(getMinMax("(2,17)", &min), 17);
    EXPECT_EQ(min, 2);
    EXPECT_EQ(getMinMax("[10-20]", &min), 20);
    EXPECT_EQ(min, 10);
    // After min only its digits and one separator are passed over: a sign
    // of min is taken as the separator.
    EXPECT_EQ(getMinMax("(-1,5)", &min), 1);
    EXPECT_EQ(min, -1);
    EXPECT_EQ(getMinMax("(+2,5)", &min), 2);
    EXPECT_EQ(min, 2);
}

TEST(PromptYN, OnlyLowerCaseAnswersCount) {
    {
        Console con("Y\nmaybe\nyes please\n");
        EXPECT_EQ(PromptYN("Continue with %s", "it"), 1);
        std::string q = "Continue with it? [y/n] ";
        EXPECT_EQ(con.Output(), q + q + q);
    }
    {
        Console con("no\n");
        EXPECT_EQ(PromptYN("Quit"), 0);
    }
    Console con("");
    EXPECT_EQ(PromptYN("Quit"), 0); // end of input is no answer
}

TEST(TestName, RejectsOtherCharacters) {
    {
        Console con;
        EXPECT_EQ(TestName("lp-1_b"), 1);
        EXPECT_EQ(con.Output(), "");
    }
    Console con("\nrest\n");
    EXPECT_EQ(TestName("lp 1"), 0);
    EXPECT_EQ(con.Output(), MsgF(25, 1002, ' ') + Msg(25, 1000));
    EXPECT_STREQ(LineBuf, "");
}

TEST(PostMsg, PrintsWaitsAndReturnsTheLine) {
    Console con("typed\n");
    EXPECT_EQ(PostMsg("%d apples", 3), LineBuf);
    EXPECT_STREQ(LineBuf, "typed");
    EXPECT_EQ(con.Output(), "3 apples" + Msg(25, 1001));
    Console eof("");
    EXPECT_EQ(PostMsg("x"), nullptr);
}

TEST(PromptUser, ReadsIntoBufferOrNewCopy) {
    Console con("first\nsecond\n");
    char buf[LINEBUF_SIZE];
    EXPECT_EQ(PromptUser("Name 100%%: ", buf), buf);
    EXPECT_STREQ(buf, "first");
    char *copy = PromptUser("Again %d: ", nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "second");
    PutMem(copy);
    EXPECT_EQ(con.Output(), "Name 100%: Again %d: ");
}

} // namespace
