#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

struct Reading {
    const char* name;
    std::string content;
    int32_t binpatch;
    int32_t cabview;
};

void PrintTo(const Reading& reading, std::ostream* out)
{
    *out << reading.name;
}

class StateFileReading : public testing::TestWithParam<Reading> {
protected:
    ScratchTree tree;
};

TEST_P(StateFileReading, ReadsBothValuesByTheLineRules)
{
    writeStateFile(GetParam().content);
    EXPECT_EQ(getBinPatchState(), GetParam().binpatch);
    EXPECT_EQ(getCabviewState(), GetParam().cabview);
    // Readers never touch the file.
    EXPECT_EQ(stateFileBytes(), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, StateFileReading,
    testing::Values(Reading{"crlf_1_1280", "1\r\n1280", 1, 1280}, Reading{"crlf_0_1024", "0\r\n1024", 0, 1024},
                    Reading{"lone_lf", "1\n1024", 1, 1024}, Reading{"line_end_after_value", "1\r\n1280\r\n", 1, 1280},
                    Reading{"negative_cabview", "1\r\n-1", 1, -1}, Reading{"negative_binpatch", "-1\r\n1280", 0, 1280},
                    Reading{"two_digit_binpatch", "17\r\n1024", 1, 1024}, Reading{"five_digits", "1\r\n12800", 1, 12800},
                    Reading{"six_digits", "1\r\n128005", 1, 12800}, Reading{"blanks_count", "1\r\n  1280", 1, 128},
                    Reading{"empty_second_line", "1\r\n\r\n1280", 1, 0},
                    Reading{"four_char_first_line", "1234\r\n1280", 1, 0},
                    Reading{"five_char_first_line", "12345\r\n1280", 1, 5}, Reading{"one_character", "1", 1, -1},
                    Reading{"nothing_after_line_end", "1\r\n", 1, -1}, Reading{"letters", "x\r\nabc", 0, 0},
                    Reading{"empty_file", "", -1, -1}, Reading{"lone_cr_is_no_line_end", "1\r1280\r\n1024", 1, 80},
                    Reading{"plus_sign", "+\r\n+1024", 0, 1024}, Reading{"tab_before_value", "1\r\n\t1024", 1, 1024}),
    [](const testing::TestParamInfo<Reading>& param) { return std::string(param.param.name); });

TEST(StateFile, MissingFileReadsAsMinusOneAndIsNotCreated)
{
    ScratchTree tree;
    EXPECT_EQ(getBinPatchState(), -1);
    EXPECT_EQ(getCabviewState(), -1);
    EXPECT_FALSE(std::filesystem::exists("br927.zekconfig"));
}

// Anything but a regular file in its place reads as missing; a FIFO without a writer would
// otherwise block the start for good.
TEST(StateFile, FolderOrFifoInItsPlaceReadsAsMissingWithoutWaiting)
{
    ScratchTree tree;
    std::filesystem::create_directory("br927.zekconfig");
    EXPECT_EQ(getBinPatchState(), -1);
    EXPECT_EQ(getCabviewState(), -1);
#ifndef _WIN32
    std::filesystem::remove("br927.zekconfig");
    ASSERT_EQ(::mkfifo("br927.zekconfig", 0600), 0);
    EXPECT_EQ(getBinPatchState(), -1);
    EXPECT_EQ(getCabviewState(), -1);
#endif
}

TEST(StateFile, WriterProducesCrLfAndNothingAfterTheSecondValue)
{
    ScratchTree tree;
    const struct {
        int32_t binpatch;
        int32_t cabview;
        std::string bytes;
    } writes[] = {
        {1, 1280, "1\r\n1280"},
        {0, 1024, "0\r\n1024"},
        {1, -1, "1\r\n-1"},
        {-1, 1024, "-1\r\n1024"},
        {INT32_MIN, INT32_MAX, "-2147483648\r\n2147483647"},
    };
    for (const auto& write : writes) {
        ASSERT_TRUE(setState(write.binpatch, write.cabview));
        EXPECT_EQ(stateFileBytes(), write.bytes);
    }
}

TEST(StateFile, WrittenValuesReadBack)
{
    ScratchTree tree;
    for (int32_t binpatch = 0; binpatch <= 9; ++binpatch) {
        for (const int32_t cabview : {0, 1024, 1280, 99999, -9999}) {
            ASSERT_TRUE(setState(binpatch, cabview));
            EXPECT_EQ(getBinPatchState(), binpatch);
            EXPECT_EQ(getCabviewState(), cabview);
        }
    }
    // A negative BinPatch value reads back as 0, a negative cab-view value as itself.
    setState(-1, -1);
    EXPECT_EQ(getBinPatchState(), 0);
    EXPECT_EQ(getCabviewState(), -1);
}

TEST(StateFile, WriteThatCannotOpenReportsFailureAndLeavesNothing)
{
    ScratchTree tree;
    std::filesystem::create_directory("br927.zekconfig");
    EXPECT_FALSE(setState(1, 1280));
    EXPECT_TRUE(std::filesystem::is_directory("br927.zekconfig"));
}

} // namespace
