// The manual page doc/setup.1: groff renders it without a warning, and it
// names every option and keyword that setup's usage text lists.
#include "installer/messages.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace {

// The words of the English usage text that begin with '-', and "install".
std::set<std::string> usageOptions() {
    std::set<std::string> words = {"install"};
    std::string text = NLS_ENGLISH_EXTRA[MSG_USAGE - NLS_SETUP_MESSAGES];
    for (size_t at = 0; (at = text.find('-', at)) != std::string::npos;) {
        size_t end = text.find_first_of(" ,)\n", at);
        if (at == 0 || text[at - 1] == ' ' || text[at - 1] == '(')
            words.insert(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// Whether word stands in text on its own (not inside a longer option).
bool standsAlone(const std::string &text, const std::string &word) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        char before = at == 0 ? ' ' : text[at - 1];
        char after = at + word.size() < text.size() ? text[at + word.size()] : ' ';
        if (before != '-' && !isalnum((unsigned char)before) && after != '-' &&
            !isalnum((unsigned char)after))
            return true;
    }
    return false;
}

TEST(ManualPage, RendersWithoutWarningsAndNamesEveryOption) {
    ScratchDir tmp;
    writeFile(tmp / "render.sh", "command -v groff >/dev/null || exit 77\n"
                                 "exec groff -man -Tutf8 -ww -P-cbou \"$1\" 2>\"$2\"\n");
    std::string page;
    int status = runShell({"/",
                           {},
                           tmp / "render.sh",
                           {std::string(SOURCE_DIR) + "/doc/setup.1", tmp / "warnings"},
                           ""},
                          &page);
    if (status == 77) GTEST_SKIP() << "groff is not installed";
    ASSERT_EQ(status, 0) << page;
    EXPECT_EQ(readFile(tmp / "warnings"), "");
    std::set<std::string> options = usageOptions();
    EXPECT_GE(options.size(), 8u);
    for (const std::string &o : options)
        EXPECT_TRUE(standsAlone(page, o)) << o << " is not in the manual page";
    for (const char *section :
         {"SYNOPSIS", "DESCRIPTION", "OPTIONS", "ENVIRONMENT", "FILES", "EXIT STATUS", "EXAMPLES"})
        EXPECT_TRUE(standsAlone(page, section)) << section;
}

} // namespace
