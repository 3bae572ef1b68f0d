// Terminal line input: one line without its newline, long lines, 0xFF and tiny buffers.
#include "toolkit/runtime/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Points standard input at a temporary file holding `text` for the test's
// lifetime, then restores the original standard input.
class StdinFrom {
  public:
    explicit StdinFrom(const std::string &text) {
        char name[] = "/tmp/console_test_XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
        fflush(stdin);
        saved = dup(0);
        EXPECT_NE(freopen(name, "r", stdin), nullptr);
        unlink(name);
    }
    ~StdinFrom() {
        dup2(saved, 0);
        close(saved);
        clearerr(stdin);
        fseek(stdin, 0, SEEK_CUR);
    }

  private:
    int saved = -1;
};

TEST(Gets, ReadsOneLineWithoutItsNewline) {
    StdinFrom in("first\nsecond\n");
    char buf[16];
    EXPECT_EQ(Gets(buf, sizeof buf), buf);
    EXPECT_STREQ(buf, "first");
    EXPECT_STREQ(Gets(buf, sizeof buf), "second");
    EXPECT_EQ(Gets(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "");
}

TEST(Gets, LeavesTheRestOfALongLineForTheNextRead) {
    StdinFrom in("yes\ny\n\nabcdefgh");
    char buf[4];
    EXPECT_STREQ(Gets(buf, 4), "yes");
    EXPECT_STREQ(Gets(buf, 4), ""); // the newline left behind by "yes"
    EXPECT_STREQ(Gets(buf, 4), "y");
    EXPECT_STREQ(Gets(buf, 4), "");
    EXPECT_STREQ(Gets(buf, 4), "abc");
    EXPECT_STREQ(Gets(buf, 4), "def");
    EXPECT_STREQ(Gets(buf, 4), "gh"); // end of input after some text
    EXPECT_EQ(Gets(buf, 4), nullptr);
}

TEST(Gets, TreatsByte255AsEndOfInput) {
    StdinFrom in(std::string("ab\xFF"
                             "cd\n\xFF",
                             7));
    char buf[16];
    EXPECT_STREQ(Gets(buf, sizeof buf), "ab");
    EXPECT_STREQ(Gets(buf, sizeof buf), "cd");
    EXPECT_EQ(Gets(buf, sizeof buf), nullptr);
}

TEST(Gets, TinyOrInvalidCapacities) {
    StdinFrom in("xy\n");
    char buf[4] = "zzz";
    EXPECT_EQ(Gets(buf, 0), nullptr);
    EXPECT_EQ(Gets(buf, -3), nullptr);
    EXPECT_STREQ(buf, "zzz");
    EXPECT_EQ(Gets(nullptr, 4), nullptr);
    EXPECT_STREQ(Gets(buf, 1), ""); // room for the terminator only: reads nothing
    EXPECT_STREQ(Gets(buf, 4), "xy");
}

TEST(Gets, EmptyInputGivesNull) {
    StdinFrom in("");
    char buf[8] = "old";
    EXPECT_EQ(Gets(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "");
}

} // namespace
