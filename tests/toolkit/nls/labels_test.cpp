// Menu label fillers: texts, choices and prompts from set 25 of the core database.
#include "tests/toolkit/nls/nls_fixture.h"

#include <cstring>

using nlstest::ScratchToolDir;

namespace {

class Labels : public ScratchToolDir {
  protected:
    void SetUp() override {
        ScratchToolDir::SetUp();
        WriteDb("en_US", "CoreString",
                {{"25_100", "First"},
                 {"25_101", "Second"},
                 {"25_102", "_a,_b,_c"},
                 {"25_103", std::string(300, 'w')}});
        pDrvCoreDB = OpenDb("en_US", "CoreString");
        for (MenuItem &item : items_)
            item = MenuItem{};
    }
    MenuItem items_[5];
};

TEST_F(Labels, FillTextsChoicesAndPromptsOfConsecutiveItems) {
    using Filler = int (*)(MenuItem *, int, int);
    struct Case {
        Filler fill;
        const char *MenuItem::*field;
    } cases[] = {
        {NlsTtyMenuItemCvt, &MenuItem::text},
        {NlsTtyMenuItemPromptCvt, &MenuItem::prompt},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.fill(items_, 100, 3), 3);
        EXPECT_STREQ(items_[0].*c.field, "First");
        EXPECT_STREQ(items_[1].*c.field, "Second");
        EXPECT_STREQ(items_[2].*c.field, "_a,_b,_c");
        EXPECT_EQ(items_[3].*c.field, nullptr) << "only count items are filled";
    }
    EXPECT_EQ(NlsTtyMenuItemStateCvt(items_ + 1, 102, 1), 1);
    EXPECT_STREQ(items_[1].choices, "_a,_b,_c");
    EXPECT_EQ(items_[0].choices, nullptr);
}

TEST_F(Labels, CountZeroFillsNothing) {
    EXPECT_EQ(NlsTtyMenuItemCvt(items_, 100, 0), 0);
    EXPECT_EQ(NlsTtyMenuItemStateCvt(items_, 100, -2), 0);
    EXPECT_EQ(NlsTtyMenuItemPromptCvt(nullptr, 100, 3), 0);
    EXPECT_EQ(items_[0].text, nullptr);
}

TEST_F(Labels, MissingStringsShowTheirKeyAndLongOnesAreCut) {
    EXPECT_EQ(NlsTtyMenuItemCvt(items_, 103, 2), 2);
    EXPECT_EQ(std::string(items_[0].text), std::string(NLS_LABEL_SIZE - 1, 'w'));
    EXPECT_STREQ(items_[1].text, "25_104");
}

TEST_F(Labels, MenuCvtFillsOnePointer) {
    char *label = nullptr;
    char *r = NlsTtyMenuCvt(&label, 101);
    EXPECT_EQ(r, label);
    EXPECT_STREQ(label, "Second");
    EXPECT_STREQ(NlsTtyMenuCvt(nullptr, 100), "First");
}

TEST_F(Labels, WithoutCoreDatabaseEveryLabelIsItsKey) {
    DbTClose(pDrvCoreDB);
    pDrvCoreDB = nullptr;
    EXPECT_EQ(NlsTtyMenuItemCvt(items_, 100, 2), 2);
    EXPECT_STREQ(items_[0].text, "25_100");
    EXPECT_STREQ(items_[1].text, "25_101");
}

} // namespace
