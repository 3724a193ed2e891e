#include "copyTables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace {

// The golden lists were written from the published file lists, one "source -> target" line
// per step, with " [1024]" or " [1280]" after a step that runs only at that resolution.
std::vector<std::string> goldenLines(const std::string& name)
{
    std::ifstream in(std::string(GOLDEN_DIR) + "/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> tableLines(Batch batch)
{
    std::vector<std::string> lines;
    for (const CopyStep& step : batchTable(batch)) {
        std::string line = step.source + " -> " + step.target;
        if (step.condition != kAlways)
            line += " [" + std::to_string(step.condition) + "]";
        lines.push_back(line);
    }
    return lines;
}

size_t countRunning(Batch batch, int32_t cabview)
{
    return stepsToRun(batch, cabview).size();
}

TEST(CopyTables, EveryBatchMatchesItsGoldenListStepForStep)
{
    const struct {
        Batch batch;
        const char* golden;
        size_t steps;
    } batches[] = {
        {Batch::Cabfiles1024, "cabfiles1024.txt", 18},
        {Batch::Cabfiles1280, "cabfiles1280.txt", 18},
        {Batch::EngfilesBin, "engfilesBin.txt", 252},
        {Batch::EngfilesNoBin, "engfilesNoBin.txt", 254},
    };
    for (const auto& entry : batches) {
        const std::vector<std::string> golden = goldenLines(entry.golden);
        ASSERT_EQ(golden.size(), entry.steps) << entry.golden;
        EXPECT_EQ(tableLines(entry.batch), golden) << entry.golden;
    }
}

TEST(CopyTables, ConditionalStepsRunOnlyAtTheirResolution)
{
    for (const int32_t cabview : {1024, 1280}) {
        EXPECT_EQ(countRunning(Batch::EngfilesBin, cabview), 246u);
        EXPECT_EQ(countRunning(Batch::EngfilesNoBin, cabview), 248u);
        EXPECT_EQ(countRunning(Batch::Cabfiles1024, cabview), 18u);
    }
    for (const int32_t cabview : {0, 800, -1, 1023, 1281}) {
        EXPECT_EQ(countRunning(Batch::EngfilesBin, cabview), 240u);
        EXPECT_EQ(countRunning(Batch::EngfilesNoBin, cabview), 242u);
    }
}

TEST(CopyTables, DeactivationRestoresEveryFileThatActivationWrites)
{
    for (const int32_t cabview : {1024, 1280, 0}) {
        std::set<std::string> restored;
        for (const CopyStep& step : stepsToRun(Batch::EngfilesNoBin, cabview))
            restored.insert(step.target);
        for (const CopyStep& step : stepsToRun(Batch::EngfilesBin, cabview))
            EXPECT_EQ(restored.count(step.target), 1u) << step.target;
    }
}

} // namespace
