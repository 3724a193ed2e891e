#include "copyFile.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

class CopyFile : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories("a/Cabview/night");
        writeWholeFile("a/Cabview/source.ace", "new content");
        writeWholeFile("a/Cabview/night/target.ace", "old content");
    }
    ScratchTree tree;
};

TEST_F(CopyFile, ReplacesTheWholeContentOfAnExistingTarget)
{
    writeWholeFile("a/long.ace", std::string(100000, 'x'));
    ASSERT_TRUE(copyFileReplacing("a/Cabview/source.ace", "a/long.ace"));
    EXPECT_EQ(readWholeFile("a/long.ace"), "new content");
}

TEST_F(CopyFile, CreatesAMissingTargetInAnExistingFolder)
{
    ASSERT_TRUE(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/New.ace"));
    EXPECT_EQ(readWholeFile("a/Cabview/night/New.ace"), "new content");
}

TEST_F(CopyFile, CopiesLargeFilesExactly)
{
    std::string content(5 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919) >> 3);
    writeWholeFile("a/big.s", content);
    ASSERT_TRUE(copyFileReplacing("a/big.s", "a/Cabview/night/target.ace"));
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), content);
}

TEST_F(CopyFile, FailsWithoutTouchingTheTarget)
{
    fs::create_directory("a/folder.ace");
    const struct {
        const char* source;
        const char* target;
    } failures[] = {
        {"a/Cabview/missing.ace", "a/Cabview/night/target.ace"},    // missing source
        {"a/nowhere/source.ace", "a/Cabview/night/target.ace"},     // missing folder on the source path
        {"a/Cabview", "a/Cabview/night/target.ace"},                // source is a folder
        {"a/Cabview/source.ace", "a/Cabview/day/target.ace"},       // missing folder on the target path
        {"a/Cabview/source.ace", "a/folder.ace"},                   // target is a folder
        {"a/Cabview/source.ace", "a/Cabview/source.ace/x"},         // a file where a folder should be
        {"a/Cabview/night/target.ace", "a/CABVIEW/NIGHT/TARGET.ACE"}, // source and target the same file
    };
    for (const auto& failure : failures) {
        EXPECT_FALSE(copyFileReplacing(failure.source, failure.target)) << failure.source << " -> " << failure.target;
        EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "old content");
    }
    EXPECT_FALSE(fs::exists("a/Cabview/day"));
    EXPECT_TRUE(fs::is_directory("a/folder.ace"));
}

TEST_F(CopyFile, TellsWhichSourcesExist)
{
    EXPECT_TRUE(fileExists("a/Cabview/source.ace"));
    EXPECT_TRUE(fileExists("A/CABVIEW/SOURCE.ACE"));
    EXPECT_FALSE(fileExists("a/Cabview/missing.ace"));
    EXPECT_FALSE(fileExists("a/Cabview"));
}

TEST_F(CopyFile, IgnoresLetterCaseInEveryComponentOfBothPaths)
{
    ASSERT_TRUE(copyFileReplacing("A/CABVIEW/Source.ACE", "a/cabVIEW/NIGHT/target.ACE"));
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "new content");
#ifndef _WIN32
    // The existing file was replaced, not joined by a second one spelt differently.
    EXPECT_EQ(std::distance(fs::directory_iterator("a/Cabview/night"), fs::directory_iterator()), 1);
#endif
}

// The target's name is replaced: a file that is also linked elsewhere keeps its content there.
TEST_F(CopyFile, HardLinkedTargetKeepsItsOtherName)
{
    fs::create_hard_link("a/Cabview/night/target.ace", "a/other.ace");
    ASSERT_TRUE(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/target.ace"));
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "new content");
    EXPECT_EQ(readWholeFile("a/other.ace"), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator("a/Cabview/night"), fs::directory_iterator()), 1);
}

// A rename would not ask the target, so a read-only one is refused beforehand.
TEST_F(CopyFile, ReadOnlyTargetFailsAndKeepsItsContent)
{
#ifndef _WIN32
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write a read-only file";
#endif
    const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions("a/Cabview/night/target.ace", writable, fs::perm_options::remove);
    EXPECT_FALSE(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/target.ace"));
    fs::permissions("a/Cabview/night/target.ace", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator("a/Cabview/night"), fs::directory_iterator()), 1);
}

#ifndef _WIN32
TEST_F(CopyFile, NewTargetTakesTheLetterCaseWrittenInThePath)
{
    ASSERT_TRUE(copyFileReplacing("a/Cabview/source.ace", "A/CABVIEW/Fresh.ACE"));
    EXPECT_TRUE(fs::exists("a/Cabview/Fresh.ACE"));
}

TEST_F(CopyFile, PrefersTheSpellingAsWrittenThenTheSmallestMatch)
{
    fs::create_directories("b/DATA");
    fs::create_directories("b/Data");
    fs::create_directories("b/data");
    writeWholeFile("b/DATA/f", "upper");
    writeWholeFile("b/Data/f", "mixed");
    writeWholeFile("b/data/f", "lower");
    ASSERT_TRUE(copyFileReplacing("b/Data/f", "a/one"));
    EXPECT_EQ(readWholeFile("a/one"), "mixed");
    // No exact match: "DATA" sorts first bytewise among the three.
    ASSERT_TRUE(copyFileReplacing("b/dAtA/f", "a/two"));
    EXPECT_EQ(readWholeFile("a/two"), "upper");
}

TEST_F(CopyFile, ExistingTargetKeepsItsPermissions)
{
    ASSERT_EQ(::chmod("a/Cabview/night/target.ace", 0640), 0);
    ASSERT_EQ(::chmod("a/Cabview/source.ace", 0755), 0);
    ASSERT_TRUE(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/target.ace"));
    struct stat info;
    ASSERT_EQ(::stat("a/Cabview/night/target.ace", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(CopyFile, TargetThatCannotBeWrittenFailsAndKeepsItsContent)
{
    const ImmutableFile locked("a/Cabview/night/target.ace");
    if (!locked.held())
        GTEST_SKIP() << "chattr +i is not available here";
    EXPECT_FALSE(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/target.ace"));
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "old content");
}

TEST_F(CopyFile, FifoOnEitherSideFailsInsteadOfBlocking)
{
    ASSERT_EQ(::mkfifo("a/pipe", 0600), 0);
    EXPECT_FALSE(copyFileReplacing("a/pipe", "a/Cabview/night/target.ace"));
    EXPECT_FALSE(copyFileReplacing("a/Cabview/source.ace", "a/pipe"));
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "old content");
}
#endif

} // namespace
