// Help file parsing: elements, entities, links, pages and the file table.
#include "toolkit/toolkit.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Parses text as a section ended by "/body"; returns the element list.
ListHeader *Parse(const char *text) {
    static HtmlFile file;
    file = HtmlFile{};
    file.text = SaveStr_(text);
    file.position = file.text;
    ListHeader *list = ListCreate();
    ParseHtml(&file, list, "body");
    return list;
}

// The elements of text as "tag" or "'text'" strings.
std::vector<std::string> Elements(const char *text) {
    ListHeader *list = Parse(text);
    std::vector<std::string> got;
    HtmlElement *e;
    for (int i = 0; (e = static_cast<HtmlElement *>(ListWalk(list, i))) != nullptr; i++)
        got.push_back(e->tag ? std::string(e->tag) : "'" + std::string(e->data) + "'");
    return got;
}

HtmlElement *FirstElement(const char *text) {
    return static_cast<HtmlElement *>(ListFindItemN(Parse(text), 1));
}

using Strings = std::vector<std::string>;

TEST(HtmlParse, TextRunsCollapseWhiteSpaceAndKeepUnknownEntities) {
    EXPECT_EQ(Elements("a  &amp;  b<br>"), Strings({"'a &amp; b'", "br"}));
    EXPECT_EQ(Elements("  \n lead\n\n  trail  <p>"), Strings({"'lead\ntrail '", "p"}));
}

TEST(HtmlParse, TagsSplitRunsAndTheClosingTagEndsTheSection) {
    EXPECT_EQ(Elements("text<b>bold</b>more</body>after<i>"),
              Strings({"'text'", "b", "'bold'", "/b", "'more'"}));
    // A run that no tag ends is dropped at the end of the text.
    EXPECT_EQ(Elements("text<b>bold</b>more"), Strings({"'text'", "b", "'bold'", "/b"}));
    EXPECT_EQ(Elements("x</BODY>"), Strings({"'x'"}));
}

TEST(HtmlParse, Entities) {
    struct Case {
        const char *in;
        std::string want;
    } cases[] = {
        {"&nbsp;<br>", "\xA0"},         {"&yuml;<br>", "\xFF"},
        {"&supl;<br>", "\xB9"},         {"&#65;<br>", "A"},
        {"&QUOT;<br>", "\""},           {"&Agrave;&agrave;<br>", "\xC0\xE0"},
        {"x&AGRAVE;<br>", "x&AGRAVE;"}, {"&bogus;y<br>", "bogus;y"},
        {"a&#321;b<br>", "aAb"}, // 321 % 256 == 65
    };
    for (const Case &c : cases) {
        HtmlElement *e = FirstElement(c.in);
        ASSERT_NE(e, nullptr) << c.in;
        EXPECT_EQ(e->tag, nullptr) << c.in;
        EXPECT_EQ(std::string(e->data), c.want) << c.in;
    }
}

TEST(HtmlParse, AnchorTagsBecomeLinks) {
    HtmlElement *e = FirstElement("<a href=\"x.html#top\">go</a>");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->tag, "a");
    EXPECT_EQ(e->length, 17);
    auto *link = reinterpret_cast<HtmlLink *>(e->data);
    EXPECT_EQ(link->kind, HTML_LINK_HREF);
    EXPECT_STREQ(link->target, "x.html#top");

    link = reinterpret_cast<HtmlLink *>(FirstElement("<A NAME=intro>")->data);
    EXPECT_EQ(link->kind, HTML_LINK_ANCHOR);
    EXPECT_STREQ(link->target, "intro");

    // A later attribute overrides an earlier one; other attributes are ignored.
    link = reinterpret_cast<HtmlLink *>(FirstElement("<a name=n class=c href=h>")->data);
    EXPECT_EQ(link->kind, HTML_LINK_HREF);
    EXPECT_STREQ(link->target, "h");
    // A backslash keeps the white space after it inside the value.
    link = reinterpret_cast<HtmlLink *>(FirstElement("<a href=my\\ file.html name\\=x>")->data);
    EXPECT_EQ(link->kind, HTML_LINK_HREF);
    EXPECT_STREQ(link->target, "my\\ file.html");
    link = reinterpret_cast<HtmlLink *>(FirstElement("<a class=c>")->data);
    EXPECT_EQ(link->kind, HTML_LINK_NONE);
    EXPECT_EQ(link->target, nullptr);
}

TEST(HtmlParse, GetKeyWordCutsTags) {
    HtmlFile file{};
    file.text = SaveStr_("x<html page=\"a\">y<body>");
    file.position = file.text;
    EXPECT_STREQ(GetKeyWord(&file), "html page=\"a\"");
    EXPECT_STREQ(GetKeyWord(&file), "body");
    EXPECT_EQ(GetKeyWord(&file), nullptr);
    file.position = SaveStr_("<unclosed");
    EXPECT_EQ(GetKeyWord(&file), nullptr);
}

class HtmlFiles : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }
    std::string Write(const std::string &name, const std::string &text) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    ScratchDir scratch_;
    std::string dir_ = scratch_.path;
};

TEST_F(HtmlFiles, PagesSkippedSectionsAndReloading) {
    std::string path = dir_ + "/pages.html";
    std::string html =
        "<html page=\"one\"><head><title>One</title></head><body>first<br></body></html>"
        "<html SkipPage><body>hidden<br></body></HTML>"
        "<html page=\"two\"><body>second<br></body></html>";
    std::vector<char> ref(path.begin(), path.end());
    ref.push_back('\0');
    int before = FileIndex;
    HtmlFile *file = ParseHtmlFile(ref.data(), html.data());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(FileIndex, before + 1);
    ASSERT_EQ(file->pages->count, 2);
    auto *one = static_cast<HtmlPage *>(ListFindItemN(file->pages, 1));
    auto *two = static_cast<HtmlPage *>(ListFindItemN(file->pages, 2));
    EXPECT_STREQ(one->name, "one");
    EXPECT_STREQ(two->name, "two");
    EXPECT_EQ(pCurrentPage, one);
    EXPECT_STREQ(two->image, "second\n");
    EXPECT_EQ(std::string(one->image).find("hidden"), std::string::npos);

    // Asked again (even with a target), the loaded record comes back unread.
    std::string again = "file://" + path + "#two";
    std::vector<char> ref2(again.begin(), again.end());
    ref2.push_back('\0');
    pCurrentPage = two;
    EXPECT_EQ(ParseHtmlFile(ref2.data(), nullptr), file);
    EXPECT_EQ(pCurrentPage, one);
    EXPECT_EQ(FileIndex, before + 1);
}

// A "#" with nothing after it still names a target: the empty name of the
// first page, whose place is then recorded.
TEST_F(HtmlFiles, AnEmptyTargetIsStillLookedFor) {
    std::string html = "<html page=\"\"><body>first<br></body></html>"
                       "<html page=\"two\"><body>second<br></body></html>";
    char ref[] = "empty-target.html#";
    HistoryI = 0;
    TargetPos = 5;
    HtmlFile *file = ParseHtmlFile(ref, html.data());
    ASSERT_NE(file, nullptr);
    EXPECT_STREQ(file->name, "empty-target.html");
    EXPECT_EQ(pCurrentPage, static_cast<HtmlPage *>(ListFindItemN(file->pages, 1)));
    EXPECT_EQ(HistoryI, 1);
    EXPECT_EQ(TargetPos, 0);
    HistoryI = 0;
}

TEST_F(HtmlFiles, RefusedReferences) {
    char http[] = "HTTP://example/x.html";
    EXPECT_EQ(ParseHtmlFile(http, nullptr), nullptr);
    std::string missing = dir_ + "/missing.html";
    std::vector<char> ref(missing.begin(), missing.end());
    ref.push_back('\0');
    EXPECT_EQ(ParseHtmlFile(ref.data(), nullptr), nullptr);
    std::string plain = Write("plain.html", "no sections here");
    std::vector<char> ref2(plain.begin(), plain.end());
    ref2.push_back('\0');
    int before = FileIndex;
    EXPECT_EQ(ParseHtmlFile(ref2.data(), nullptr), nullptr);
    EXPECT_EQ(FileIndex, before);
}

} // namespace
