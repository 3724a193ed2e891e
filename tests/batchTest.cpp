#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

namespace {

// On a tree whose live cab-view folder of serie2 is spelt CABVIEW (the tables write Cabview),
// each batch copies exactly the steps it runs at its cab-view value, and changes nothing else.
TEST(Batches, EachCopiesExactlyTheStepsOfItsCabviewValueAndNothingElse)
{
    ScratchTree tree;
    tree.createContent();
    const BatchCall runs[] = {{"Cabfiles1280", Batch::Cabfiles1280, 0}, {"EngfilesBin at 1280", Batch::EngfilesBin, 1280},
                {"Cabfiles1024", Batch::Cabfiles1024, 0}, {"EngfilesNoBin at 800", Batch::EngfilesNoBin, 800}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        const Snapshot expected = tree.afterCopies(tree.now(), stepsToRun(run.batch, run.cabview));
        EXPECT_EQ(runBatch(run.batch, run.cabview).result, 1);
        expectSameTree(tree.now(), expected);
    }
}

} // namespace
