#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

TEST(StateFile, ReadsBothValuesByTheLineRulesAndLeavesTheFileAsItIs)
{
    struct Reading {
        const char* name;
        std::string content;
        int32_t binpatch;
        int32_t cabview;
    };
    const Reading readings[] = {
        {"crlf_1_1280", "1\r\n1280", 1, 1280}, {"crlf_0_1024", "0\r\n1024", 0, 1024},
        {"lone_lf", "1\n1024", 1, 1024}, {"line_end_after_value", "1\r\n1280\r\n", 1, 1280},
        {"negative_cabview", "1\r\n-1", 1, -1}, {"negative_binpatch", "-1\r\n1280", 0, 1280},
        {"two_digit_binpatch", "17\r\n1024", 1, 1024}, {"five_digits", "1\r\n12800", 1, 12800},
        {"six_digits", "1\r\n128005", 1, 12800}, {"blanks_count", "1\r\n  1280", 1, 128},
        {"empty_second_line", "1\r\n\r\n1280", 1, 0}, {"four_char_first_line", "1234\r\n1280", 1, 0},
        {"five_char_first_line", "12345\r\n1280", 1, 5}, {"one_character", "1", 1, -1},
        {"nothing_after_line_end", "1\r\n", 1, -1}, {"letters", "x\r\nabc", 0, 0},
        {"empty_file", "", -1, -1}, {"lone_cr_is_no_line_end", "1\r1280\r\n1024", 1, 80},
        {"plus_sign", "+\r\n+1024", 0, 1024}, {"tab_before_value", "1\r\n\t1024", 1, 1024},
        {"three_char_first_line", "123\r\n1280", 1, 1280},
    };
    ScratchTree tree;
    for (const auto& reading : readings) {
        SCOPED_TRACE(reading.name);
        writeStateFile(reading.content);
        EXPECT_EQ(getBinPatchState(), reading.binpatch);
        EXPECT_EQ(getCabviewState(), reading.cabview);
        EXPECT_EQ(stateFileBytes(), reading.content);
    }
}

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
        ASSERT_TRUE(setState(write.binpatch, write.cabview));
        EXPECT_EQ(stateFileBytes(), write.bytes);
    }
    EXPECT_EQ(readWholeFile("other-name"), "0\r\n1024");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2) << "a new file was left";
    fs::remove("br927.zekconfig");
    fs::create_directory("br927.zekconfig");
    EXPECT_FALSE(setState(1, 1280));
    EXPECT_TRUE(fs::is_directory("br927.zekconfig"));
}

} // namespace
