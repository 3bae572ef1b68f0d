// Rendering help pages as text: compared line for line with the expected text.
#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Parses one html section from text (as ParseHtmlFile does with content),
// and returns its first page, rendered.
HtmlPage *Render(const std::string &html) {
    std::string copy = html;
    static int n = 0;
    std::string name = "render" + std::to_string(++n) + ".html";
    HtmlFile *file = ParseHtmlFile(name.data(), copy.data());
    EXPECT_NE(file, nullptr);
    return file ? static_cast<HtmlPage *>(ListFindItemN(file->pages, 1)) : nullptr;
}

std::string Text(const std::string &body, const std::string &head = "") {
    HtmlPage *page = Render("<html><head>" + head + "</head><body>" + body + "</body></html>");
    return page && page->image ? page->image : "";
}

HtmlLink *Link(HtmlPage *page, int n) {
    auto **pl = static_cast<HtmlLink **>(ListFindItemN(page->links, n));
    return pl ? *pl : nullptr;
}

TEST(HtmlRender, TitleParagraphsAndBreaks) {
    EXPECT_EQ(Text("hello world<br>", "<title>Help</title>"),
              std::string(38, ' ') + "Help\n\nhello world\n");
    EXPECT_EQ(Text("one<p>two<br>three<br>"), "one\n\ntwo\nthree\n");
    EXPECT_EQ(Text("a</p>b<br>"), "a\nb\n");
    EXPECT_EQ(Text("<h1>Head</h1>text<br>"), "\nHead\n\ntext\n");
}

TEST(HtmlRender, LastLineWithoutBreakIsKept) {
    EXPECT_EQ(Text("just text<b>x</b>"), "just textx\n");
}

TEST(HtmlRender, OrderedList) {
    EXPECT_EQ(Text("<ol><li>first</li><li>second</li></ol>"), "\n   1. first\n   2. second\n");
}

TEST(HtmlRender, LinksAreBracketedWithOffsets) {
    HtmlPage *page = Render("<html><body>see <a href=\"x.html\">there</a> now<br>"
                            "<a name=\"here\">anchor</a><br></body></html>");
    ASSERT_NE(page, nullptr);
    // Blanks that open a text run are dropped.
    EXPECT_STREQ(page->image, "see <there>now\nanchor\n");
    ASSERT_EQ(page->links->count, 2);
    HtmlLink *href = Link(page, 1);
    EXPECT_EQ(href->position[0], 4);  // at the '<'
    EXPECT_EQ(href->position[1], 11); // past the '>'
    EXPECT_EQ(href->position[2], 7);
    HtmlLink *anchor = Link(page, 2);
    EXPECT_EQ(anchor->position[0], 15);
    EXPECT_EQ(anchor->position[2], 6);
}

TEST(HtmlRender, BorderedTable) {
    EXPECT_EQ(Text("<table border><tr><td>a</td><td>bc</td></tr></table>after<br>"),
              ",-+--,\n|a|bc|\n'-+--'\nafter\n");
    EXPECT_EQ(Text("<table border><tr><td>abc</td><td>def</td></tr></table>"),
              ",---+---,\n|abc|def|\n'---+---'\n");
}

// The mark of a measured table is a tag a file can spell too; spelled in a
// file it is an unknown tag, and its attributes are never read as a table.
TEST(HtmlRender, FitabInTheFileIsNoTable) {
    EXPECT_EQ(Text("a<fitab border=\"12345678abcdefgh\">b</fitab><br>"), "ab\n");
    EXPECT_EQ(Text("<table border><tr><td>x<FITAB width=99></td></tr></table>"),
              Text("<table border><tr><td>x</td></tr></table>"));
}

// A tag holding the tag list's comma would otherwise match two names at once,
// "a,/a" the link tag among them, and its text be taken for a link record.
TEST(HtmlRender, TagsWithCommasAreUnknown) {
    EXPECT_EQ(Text("x<a,/a>y</a><br>"), "xy\n");
    EXPECT_EQ(Text("x<A,/A name=12345678>y<br>"), "xy\n");
    EXPECT_EQ(Text("x<>y<br>"), "xy\n");
}

// Text ahead of the first row is written on the table's first line, from
// its left edge; the cells are then written over it.
TEST(HtmlRender, TextBeforeTheFirstRowStartsAtTheTableEdge) {
    EXPECT_EQ(Text("<table border>cap<tr><td>ab</td></tr></table>"), ",--,\ncab|\n'--'\n");
}

TEST(HtmlRender, TwoRowsAndPadding) {
    EXPECT_EQ(Text("<table border cellpadding=7><tr><td>a</td></tr><tr><td>b</td></tr></table>"),
              ",---,\n| a |\n|---|\n| b |\n'---'\n");
}

TEST(HtmlRender, UnborderedTableIsBlankFilled) {
    EXPECT_EQ(Text("<table><tr><td>ab</td><td>c</td></tr></table>"), "      \n ab c \n      \n");
}

TEST(HtmlRender, PercentWidthNeedsAnAvailableWidth) {
    // At the top level a percentage is ignored: the width comes from the contents.
    EXPECT_EQ(Text("<table width=\"50%\" border><tr><td>ab</td></tr></table>"),
              ",--,\n|ab|\n'--'\n");
    // Inside a cell 40 wide, 50% gives a nested table 20 wide.
    HtmlPage *page = Render("<html><body><table width=280><tr><td width=280>"
                            "<table width=\"50%\" border><tr><td>x</td></tr></table>"
                            "</td></tr></table></body></html>");
    ASSERT_NE(page, nullptr);
    std::string text = page->image;
    EXPECT_NE(text.find("," + std::string(18, '-') + ","), std::string::npos) << text;
}

TEST(HtmlRender, PixelWidths) {
    // 7 pixels to a character, less the border of each side.
    std::string t = Text("<table border width=100><tr><td width=35>a</td></tr></table>");
    EXPECT_EQ(t.substr(0, t.find('\n')).size(), static_cast<size_t>((100 - 2 * 1) / 7));
}

TEST(HtmlRender, NestedTable) {
    std::string t = Text("<table border><tr><td>"
                         "<table border><tr><td>in</td></tr></table>"
                         "</td><td>x</td></tr></table>");
    EXPECT_EQ(t, ",----+-,\n|,--,|x|\n||in|| |\n|'--'| |\n'----+-'\n");
}

// Tables nested deeper than the limit are laid out as text: the deepest
// table's text stands in the cell of the last table drawn.
TEST(HtmlRender, TablesNestedTooDeepAreText) {
    std::string body;
    for (int i = 0; i <= HTML_MAX_TABLE_DEPTH; i++)
        body += "<table border><tr><td>";
    body += "x";
    for (int i = 0; i <= HTML_MAX_TABLE_DEPTH; i++)
        body += "</td></tr></table>";
    std::string t = Text(body);
    std::string bars(HTML_MAX_TABLE_DEPTH, '|');
    EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 2 * HTML_MAX_TABLE_DEPTH + 1);
    EXPECT_NE(t.find("\n" + bars + "x" + bars + "\n"), std::string::npos) << t;
}

// The columns of the table just walked past: its widest row at its own level
// (rows of tables inside it do not count), up to its end or the body's.
TEST(HtmlRender, ColumnCountOfTheTableAtTheWalkPosition) {
    struct {
        const char *body;
        int columns;
    } cases[] = {
        {"<table><tr><td>a<td>b</tr><tr><td>c</tr></table>", 2},
        {"<table><tr><td><table><tr><td>1<td>2<td>3</tr></table></td></tr></table>", 1},
        {"<table><tr><td>a</tr><tr><td>b<td>c<td>d</tr>", 3},
        {"<table></table><tr><td>a<td>b</tr>", 0},
    };
    for (const auto &c : cases) {
        HtmlPage *page = Render(std::string("<html><body>") + c.body + "</body></html>");
        ASSERT_NE(page, nullptr);
        HtmlElement *e;
        for (int i = 0; (e = static_cast<HtmlElement *>(ListWalk(page->body, i))) != nullptr; i++)
            if (e->tag != nullptr && strcmp(e->tag, "fitab") == 0) break;
        ASSERT_NE(e, nullptr) << c.body;
        EXPECT_EQ(GetColumnCnt(), c.columns) << c.body;
    }
}

// Marking a table measured leaves the tag text parsed from the file alone.
TEST(HtmlRender, MeasuredTableKeepsItsTagText) {
    std::string html = "<html><body><table border><tr><td>a</td></tr></table></body></html>";
    char name[] = "tagtext.html";
    HtmlFile *file = ParseHtmlFile(name, html.data());
    ASSERT_NE(file, nullptr);
    EXPECT_NE(memmem(file->text, html.size(), "<table", 6), nullptr);
}

// Breaks at the end of a page move the walk past the rows that were written;
// every row up to where the walk ends is a line, empty or not.
TEST(HtmlRender, TrailingBreaksGiveEmptyLines) {
    EXPECT_EQ(Text("<p><p><p>"), std::string(6, '\n'));
    EXPECT_EQ(Text("a<p><p><p><p><p><p>"), "a" + std::string(12, '\n'));
    EXPECT_EQ(Text("<ol><li>x<li>y</ol><h2>T</h2>"), "\n   1. x\n   2. y\n\nT\n\n");
}

TEST(HtmlRender, ManyParagraphsAndWideTablesStayInsideTheImage) {
    std::string body;
    for (int i = 0; i < 50; i++)
        body += "<p>";
    body += "end<br>";
    std::string t = Text(body);
    EXPECT_EQ(t, std::string(100, '\n') + "end\n");
    std::string wide = "<table border><tr>";
    for (int i = 0; i < 30; i++)
        wide += "<td>cell" + std::to_string(i) + "</td>";
    wide += "</tr></table>";
    t = Text(wide);
    EXPECT_FALSE(t.empty());
}

} // namespace
