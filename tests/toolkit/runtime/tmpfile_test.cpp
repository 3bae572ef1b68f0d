// The rule for files we may write in world-writable directories, and the
// calls that create such files and directories.
#include "toolkit/runtime/tmpfile.h"

#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

TEST(IsOwnTmpEntryTest, OwnerKindAndLinksDecide) {
    const uid_t me = geteuid(), root = 0, other = 54321;
    const struct {
        mode_t type;
        nlink_t links;
        uid_t owner;
        char dir;
        char own;
    } cases[] = {
        {S_IFREG, 1, me, 0, 1},   {S_IFREG, 1, root, 0, 1},  {S_IFREG, 1, other, 0, 0},
        {S_IFREG, 2, me, 0, 0},   {S_IFLNK, 1, me, 0, 0},    {S_IFIFO, 1, me, 0, 0},
        {S_IFCHR, 1, root, 0, 0}, {S_IFDIR, 2, me, 0, 0},    {S_IFDIR, 2, me, 1, 1},
        {S_IFDIR, 5, root, 1, 1}, {S_IFDIR, 2, other, 1, 0}, {S_IFLNK, 1, me, 1, 0},
        {S_IFREG, 1, me, 1, 0},
    };
    for (const auto &c : cases) {
        struct stat st {};
        st.st_mode = c.type | 0644;
        st.st_nlink = c.links;
        st.st_uid = c.owner;
        SCOPED_TRACE(testing::Message() << std::oct << c.type << std::dec << " links " << c.links
                                        << " uid " << c.owner << " dir " << int(c.dir));
        EXPECT_EQ(IsOwnTmpEntry(&st, c.dir), c.own);
    }
}

// Created files get exactly the bits asked for; links are not followed.
TEST(OwnTmpFileTest, CreatedWithTheBitsAskedAndNeverThroughALink) {
    ScratchDir d;
    mode_t old = umask(077);
    int fd = OpenOwnTmpFile((d / "log").c_str(), 0, 0666);
    std::string templ = d / "tmpXXXXXX";
    int fd2 = MakeOwnTmpFile(templ.data(), 0640);
    umask(old);
    ASSERT_GE(fd, 0);
    ASSERT_GE(fd2, 0);
    close(fd);
    close(fd2);
    EXPECT_EQ(fileMode(d / "log"), 0666);
    EXPECT_EQ(fileMode(templ), 0640);

    writeFile(d / "target", "precious\n");
    ASSERT_EQ(symlink((d / "target").c_str(), (d / "link").c_str()), 0);
    EXPECT_EQ(OpenOwnTmpFile((d / "link").c_str(), O_TRUNC, 0666), -1);
    EXPECT_EQ(readFile(d / "target"), "precious\n");
    EXPECT_EQ(ClearTmpPath((d / "link").c_str()), 1);
    EXPECT_FALSE(pathExists(d / "link"));

    makeDirs(d / "full/sub");
    EXPECT_EQ(ClearTmpPath((d / "full").c_str()), 0);
    ASSERT_EQ(symlink((d / "full").c_str(), (d / "dirlink").c_str()), 0);
    EXPECT_EQ(MakeOwnTmpDir((d / "dirlink").c_str(), 0777), 0);
    EXPECT_EQ(MakeOwnTmpDir((d / "work").c_str(), 0777), 1);
}

} // namespace
