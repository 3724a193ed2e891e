#include "stateFile.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

// A FIFO without a writer would otherwise block the start for good.
TEST(StateFile, ReadsAsMissingWithoutARegularFileAndIsNotCreatedByReading)
{
    ScratchTree tree;
    EXPECT_EQ(getBinPatchState(), -1);
    EXPECT_EQ(getCabviewState(), -1);
    EXPECT_FALSE(fs::exists("br927.zekconfig"));
    fs::create_directory("br927.zekconfig");
    EXPECT_EQ(getBinPatchState(), -1);
    EXPECT_EQ(getCabviewState(), -1);
#ifndef _WIN32
    fs::remove("br927.zekconfig");
    ASSERT_EQ(::mkfifo("br927.zekconfig", 0600), 0);
    EXPECT_EQ(getBinPatchState(), -1);
    EXPECT_EQ(getCabviewState(), -1);
#endif
}

// The pair replaces the file under its name: another name of the old file keeps the old pair;
// where it cannot be replaced, the write fails and what stands there stays.
TEST(StateFile, WriterReplacesTheFileWholeWithCrLfBetweenTheValues)
{
    ScratchTree tree;
    writeStateFile("0\r\n1024");
    fs::create_hard_link("br927.zekconfig", "other-name");
    const struct {
        int32_t binpatch;
        int32_t cabview;
        std::string bytes;
    } writes[] = {{1, 1280, "1\r\n1280"}, {-1, -1, "-1\r\n-1"}, {INT32_MIN, INT32_MAX, "-2147483648\r\n2147483647"}};
    for (const auto& write : writes) {
        ASSERT_EQ(setState(write.binpatch, write.cabview), FileError::None);
        EXPECT_EQ(stateFileBytes(), write.bytes);
    }
    EXPECT_EQ(readWholeFile("other-name"), "0\r\n1024");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2) << "a new file was left";
    fs::remove("br927.zekconfig");
    fs::create_directory("br927.zekconfig");
    EXPECT_NE(setState(1, 1280), FileError::None);
    EXPECT_TRUE(fs::is_directory("br927.zekconfig"));
}

} // namespace
