// helpview: pages rendered as text, and the checker's reports on help files with every kind of
// fault, and none on the demo's help.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/scratch.h"

namespace {

const std::string kTool = BINARY_DIR "/helpview";

struct ToolRun {
    int status;
    std::string out;
};

ToolRun Tool(const ScratchDir &dir, const std::string &args, const std::string &input = "") {
    ShellRun run;
    run.cwd = dir.path;
    run.env = {"ASAN_OPTIONS=detect_leaks=0", "LANG=C"};
    run.script = "-c";
    run.args = {shQuote(kTool) + " " + args};
    run.input = input;
    ToolRun r;
    r.status = runShell(run, &r.out);
    return r;
}

TEST(HelpView, DumpsPagesAsTheViewerShowsThem) {
    ScratchDir dir;
    writeFile(dir / "h.html",
              "<html><head><title>One</title></head><body>first<br></body></html>\n"
              "<html page=\"two\"><body>second <a href=\"#one\">back</a><br></body></html>\n");
    const std::string one = std::string(38, ' ') + "One\n\nfirst\n", two = "second <back>\n";
    struct Case {
        std::string args;
        int status;
        std::string out;
    } cases[] = {
        {"--dump h.html", 0, one + "\f\n" + two},
        {"--dump h.html two", 0, two},
        {"--dump h.html three", 1, "helpview: h.html: no page or anchor three\n"},
        {"--dump none.html", 1, "helpview: none.html: No such file or directory\n"},
        {"--dump", 2, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun r = Tool(dir, c.args);
        EXPECT_EQ(r.status, c.status);
        if (c.status != 2) {
            EXPECT_EQ(r.out, c.out);
        }
    }
    // The viewer itself, started at the page named, its link numbered; "e" leaves it.
    ToolRun view = Tool(dir, "h.html two", "e\n");
    EXPECT_EQ(view.status, 0);
    EXPECT_NE(view.out.find(two), std::string::npos) << view.out;
    EXPECT_NE(view.out.find(" 1) back"), std::string::npos) << view.out;
    EXPECT_EQ(view.out.find("first"), std::string::npos) << view.out;
    // The demo's help as a reader sees it: the blanks after closing tags are there.
    ToolRun demo = Tool(dir, "--dump " SOURCE_DIR "/demo/help/queues.html connection");
    EXPECT_EQ(demo.status, 0);
    EXPECT_NE(demo.out.find("The Connection settings item opens"), std::string::npos) << demo.out;
}

TEST(HelpView, CheckReportsEveryKindOfFaultWithItsLine) {
    ScratchDir dir;
    writeFile(dir / "other.html", "<html page=\"o\"><body>o<a name=\"here\">x</a></body></html>\n");
    writeFile(dir / "h.html",
              "<html page=\"start\">\n"
              "<head><title>Start</title><meta x>stray</head>\n"
              "<body>\n"
              "<a href=\"#nowhere\">1</a><br>\n"
              "<a href=\"gone.html\">2</a><br>\n"
              "<a href=\"other.html#nope\">3</a> <a href=\"other.html#here\">4</a><br>\n"
              "<a href=\"http://example.com\">5</a><br>\n"
              "<a>6</a><center>7</center><br>\n"
              "The <b>Connection settings</b> item, <a name=\"p\">plain</a> text, <a "
              "href=\"#second\">x</a> y<br>\n"
              "</body>\n"
              "</html>\n"
              "between\n"
              "<html page=\"second\"><body>two<br></body></html>\n"
              "<html page=\"lonely\"><body>alone\n");
    ToolRun r = Tool(dir, "--check h.html");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "h.html:2: <meta> in the head: the viewer knows only <title>\n"
              "h.html:2: text in the head outside <title> is not shown\n"
              "h.html:4: link to #nowhere: no page or anchor \"nowhere\" in h.html\n"
              "h.html:5: link to gone.html: no help file gone.html (opened relative to the working "
              "directory)\n"
              "h.html:6: link to other.html#nope: no page or anchor \"nope\" in other.html\n"
              "h.html:7: link to http://example.com: the viewer opens only help files\n"
              "h.html:8: <a> without name or href: neither a link nor an anchor\n"
              "h.html:8: <center> is not a tag the viewer knows; it is ignored\n"
              "h.html:8: </center> is not a tag the viewer knows; it is ignored\n"
              "h.html:9: the blank after </b> is dropped: \"settings\" and \"item,\" run together\n"
              "h.html:9: the blank after </a> is dropped: \"plain\" and \"text,\" run together\n"
              "h.html:9: the blank after </a> is dropped: \">\" and \"y\" run together\n"
              "h.html:12: text outside <head> and <body> is not shown\n"
              "h.html:14: <body> is never closed: its last text is not shown\n"
              "h.html:14: page \"lonely\" is reached by no link\n");
    ToolRun demo = Tool(dir, "--check " SOURCE_DIR "/demo/help/queues.html");
    EXPECT_EQ(demo.status, 0) << demo.out;
    EXPECT_EQ(demo.out, "");
    EXPECT_EQ(Tool(dir, "--check").status, 2);
}

} // namespace
