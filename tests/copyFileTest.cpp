#include "replaceFile.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#undef CopyFile // the fixture's name here, not the function's
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

auto entriesIn(const std::string& folder)
{
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

#ifdef _WIN32
// Wine reports every file as archived, so the test looks at these two alone.
DWORD hiddenOrReadOnly(const char* path)
{
    return GetFileAttributesA(path) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
}
#endif

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

TEST_F(CopyFile, ReplacesOrCreatesTheTargetWholeFindingEveryComponentRegardlessOfLetterCase)
{
    std::string big(5 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 7919) >> 3);
    writeWholeFile("a/big.s", big);
    ASSERT_EQ(copyFileReplacing("A/BIG.s", "a/cabVIEW/NIGHT/target.ACE"), FileError::None);
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), big);
    ASSERT_EQ(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/target.ace"), FileError::None);
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "new content");
    EXPECT_EQ(entriesIn("a/Cabview/night"), 1) << "the target was joined by a second spelling";

    // A missing target is created in the letter case written for it.
    ASSERT_EQ(copyFileReplacing("a/Cabview/source.ace", "A/CABVIEW/night/Fresh.ACE"), FileError::None);
    EXPECT_EQ(readWholeFile("a/Cabview/night/Fresh.ACE"), "new content");

    // Two copies of one batch onto one new file, spelt two ways: one file, the later content.
    EXPECT_EQ(copyFilesReplacing({{"a/Cabview/source.ace", "a/twice.ace"}, {"a/big.s", "A/TWICE.ace"}}),
              std::vector<FileError>({FileError::None, FileError::None}));
    EXPECT_EQ(readWholeFile("a/twice.ace"), big);
    EXPECT_EQ(entriesIn("a"), 3) << "Cabview, big.s and twice.ace";
}

#ifndef _WIN32
TEST_F(CopyFile, TakesTheSpellingAsWrittenThenTheBytewiseSmallestMatch)
{
    for (const char* folder : {"b/DATA", "b/Data", "b/data"}) {
        fs::create_directories(folder);
        writeWholeFile(std::string(folder) + "/f", folder);
    }
    ASSERT_EQ(copyFileReplacing("b/Data/F", "a/one"), FileError::None);
    EXPECT_EQ(readWholeFile("a/one"), "b/Data");
    ASSERT_EQ(copyFileReplacing("b/dAtA/f", "a/two"), FileError::None);
    EXPECT_EQ(readWholeFile("a/two"), "b/DATA");
}
#endif

TEST_F(CopyFile, RefusesAndLeavesTheTargetAsItWas)
{
    fs::create_directory("a/folder.ace");
    const struct {
        const char* why;
        const char* source;
        const char* target;
        FileError reason;
    } refusals[] = {
        {"missing source", "a/Cabview/missing.ace", "a/Cabview/night/target.ace", FileError::SourceMissing},
        {"missing folder on the source path", "a/nowhere/source.ace", "a/Cabview/night/target.ace", FileError::SourceMissing},
        {"source is a folder", "a/Cabview", "a/Cabview/night/target.ace", FileError::SourceMissing},
        {"missing folder on the target path", "a/Cabview/source.ace", "a/Cabview/day/target.ace", FileError::FolderMissing},
        {"target is a folder", "a/Cabview/source.ace", "a/folder.ace", FileError::NotAFile},
        {"a file where a folder should be", "a/Cabview/source.ace", "a/Cabview/source.ace/x", FileError::FolderMissing},
        // Nothing to copy: the step is done (as with a live file hard-linked to its variant).
        {"source and target the same file", "a/Cabview/night/target.ace", "a/CABVIEW/NIGHT/TARGET.ACE", FileError::None},
#ifdef _WIN32
        // On Linux the table of batch faults runs this as another user, and immutable.
        {"read-only target, which a rename would not ask", "a/Cabview/source.ace", "a/Cabview/night/target.ace",
         FileError::AccessDenied},
#else
        {"FIFO as source", "a/pipe", "a/Cabview/night/target.ace", FileError::SourceMissing},
        {"FIFO as target", "a/Cabview/source.ace", "a/pipe", FileError::NotAFile},
#endif
    };
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA("a/Cabview/night/target.ace", FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(::mkfifo("a/pipe", 0600), 0);
#endif
    for (const auto& refusal : refusals) {
        EXPECT_EQ(copyFileReplacing(refusal.source, refusal.target), refusal.reason) << refusal.why;
        EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "old content") << refusal.why;
    }
#ifdef _WIN32
    SetFileAttributesA("a/Cabview/night/target.ace", FILE_ATTRIBUTE_NORMAL);
#endif
    EXPECT_FALSE(fs::exists("a/Cabview/day"));
    EXPECT_TRUE(fs::is_directory("a/folder.ace"));
    EXPECT_EQ(entriesIn("a/Cabview/night"), 1) << "a new file was left";
}

// The live file is never written into: another name of a hard link keeps its content, and a
// symbolic link is replaced by a regular file, its target left alone. On Windows the target
// keeps its attributes and never takes the source's read-only, which would refuse the next copy.
TEST_F(CopyFile, ReplacesTheNameNotTheFileAndKeepsItsPermissionBits)
{
    fs::create_hard_link("a/Cabview/night/target.ace", "a/other.ace");
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA("a/Cabview/night/target.ace", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA("a/Cabview/source.ace", FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/fresh.ace"), FileError::None);
    EXPECT_EQ(hiddenOrReadOnly("a/Cabview/night/fresh.ace"), 0u);
#else
    ASSERT_EQ(::chmod("a/Cabview/night/target.ace", 0640), 0);
    ASSERT_EQ(::chmod("a/Cabview/source.ace", 0755), 0);
    fs::create_symlink("../../other.ace", "a/Cabview/night/link.ace");
    ASSERT_EQ(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/link.ace"), FileError::None);
    EXPECT_FALSE(fs::is_symlink("a/Cabview/night/link.ace"));
    EXPECT_EQ(readWholeFile("a/Cabview/night/link.ace"), "new content");
#endif
    ASSERT_EQ(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/target.ace"), FileError::None);
    EXPECT_EQ(readWholeFile("a/Cabview/night/target.ace"), "new content");
    EXPECT_EQ(readWholeFile("a/other.ace"), "old content");
#ifdef _WIN32
    EXPECT_EQ(hiddenOrReadOnly("a/Cabview/night/target.ace"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    SetFileAttributesA("a/Cabview/source.ace", FILE_ATTRIBUTE_NORMAL);
#else
    struct stat info;
    ASSERT_EQ(::stat("a/Cabview/night/target.ace", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A folder the user may write in but not list cannot be opened to flush: it succeeds all the same.
    fs::permissions("a/Cabview/night", fs::perms(0333));
    const std::string unlisted = runWithoutRoot(
        [] { return std::to_string(static_cast<int>(copyFileReplacing("a/Cabview/source.ace", "a/Cabview/night/new.ace"))); });
    EXPECT_TRUE(unlisted == "0" || unlisted == "<none>") << unlisted;
#endif
}

} // namespace
