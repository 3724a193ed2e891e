#include "copyTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

// The golden lists were written by hand from the add-on's file lists, one "source -> target"
// line per step, with " [1024]" or " [1280]" after a step that runs only at that resolution.
std::vector<std::string> goldenLines(const std::string& name)
{
    std::ifstream in(std::string(GOLDEN_DIR) + "/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> linesOf(const std::vector<CopyStep>& steps)
{
    std::vector<std::string> lines;
    for (const CopyStep& step : steps) {
        std::string line = step.source + " -> " + step.target;
        if (step.condition != kAlways)
            line += " [" + std::to_string(step.condition) + "]";
        lines.push_back(line);
    }
    return lines;
}

TEST(CopyTables, EveryBatchMatchesItsGoldenListStepForStepAndRunsTheStepsOfItsResolution)
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
        SCOPED_TRACE(entry.golden);
        const std::vector<std::string> golden = goldenLines(entry.golden);
        ASSERT_EQ(golden.size(), entry.steps);
        EXPECT_EQ(linesOf(batchTable(entry.batch)), golden);
        // A run takes the steps without a mark and those marked with its cab-view value.
        for (const int32_t cabview : {1024, 1280, 0, 800, -1}) {
            std::vector<std::string> running;
            std::copy_if(golden.begin(), golden.end(), std::back_inserter(running), [&](const std::string& line) {
                return line.find(" [") == std::string::npos || line.find(" [" + std::to_string(cabview) + "]") != std::string::npos;
            });
            EXPECT_EQ(linesOf(stepsToRun(entry.batch, cabview)), running) << "at " << cabview;
        }
    }
}

} // namespace
