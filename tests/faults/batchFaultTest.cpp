// Each kind of failing copy, injected at the middle step of each of the four batches: the batch
// runs on past it, returns -1 and names exactly the steps that failed; every other step is
// copied and nothing else changes, the targets of the failed steps included. Where the tests
// have root, the batch runs as another user, so that a root-owned target is one it may not write.

#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <memory>

namespace fs = std::filesystem;

namespace {

enum class Kind { MissingSource, MissingTargetFolder, TargetIsFolder, ImmutableTarget, TargetNeedsRoot };

void PrintTo(Kind kind, std::ostream* out)
{
    const char* names[] = {"MissingSource", "MissingTargetFolder", "TargetIsFolder", "ImmutableTarget", "TargetNeedsRoot"};
    *out << names[static_cast<int>(kind)];
}

// The batch's result, then the target of each step that failed, a line each.
std::string runAndReport(Batch batch, int32_t cabview)
{
    std::string failed;
    setCopyFailureObserver([&](const std::string&, const std::string& target) { failed += target + "\n"; });
    const int32_t result = runBatch(batch, cabview);
    setCopyFailureObserver(nullptr);
    return std::to_string(result) + "\n" + failed;
}

class BatchFaults : public testing::TestWithParam<Kind> {};

TEST_P(BatchFaults, EveryBatchCopiesAllButTheStepsItCannotAndNamesThose)
{
    ScratchTree tree;
    tree.createContent();
    const BatchRun runs[] = {{"Cabfiles1024", Batch::Cabfiles1024, 0}, {"Cabfiles1280", Batch::Cabfiles1280, 0},
                {"EngfilesBin at 1024", Batch::EngfilesBin, 1024}, {"EngfilesNoBin at 1280", Batch::EngfilesNoBin, 1280}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        for (const auto& entry : fs::recursive_directory_iterator(tree.root()))
            fs::permissions(entry.path(), entry.is_directory() ? fs::perms::all : fs::perms(0666));
        const std::vector<CopyStep> steps = stepsToRun(run.batch, run.cabview);
        const CopyStep& step = steps[steps.size() / 2];
        std::string broken = step.target; // every step whose source or target lies there fails
        std::function<void()> mend;
        std::unique_ptr<ImmutableFile> lock;
        const std::string target = tree.find(step.target);
        switch (GetParam()) {
        case Kind::MissingSource: {
            broken = step.source;
            const std::string source = tree.find(step.source);
            mend = [source, content = readWholeFile(source)] { writeWholeFile(source, content); };
            fs::remove(source);
            break;
        }
        case Kind::MissingTargetFolder: {
            broken = step.target.substr(0, step.target.rfind('/') + 1);
            const std::string folder = fs::path(target).parent_path().string();
            fs::rename(folder, folder + ".aside");
            mend = [folder] { fs::rename(folder + ".aside", folder); };
            break;
        }
        case Kind::TargetIsFolder:
            mend = [target, content = readWholeFile(target)] { fs::remove_all(target); writeWholeFile(target, content); };
            fs::remove(target);
            fs::create_directory(target);
            writeWholeFile(target + "/inside", "keep me\n");
            break;
        case Kind::ImmutableTarget:
            lock = std::make_unique<ImmutableFile>(target);
            if (!lock->held())
                GTEST_SKIP() << "chattr +i is not available here";
            mend = [&lock] { lock.reset(); };
            break;
        case Kind::TargetNeedsRoot:
            ASSERT_EQ(::chown(target.c_str(), 0, 0), 0);
            fs::permissions(target, fs::perms(0644));
            mend = [] {};
            break;
        }
        const auto fails = [&](const CopyStep& each) {
            return asciiLowered(each.source).rfind(asciiLowered(broken), 0) == 0 || asciiLowered(each.target).rfind(asciiLowered(broken), 0) == 0;
        };
        const Snapshot expected = tree.afterCopies(tree.now(), steps, fails);
        std::string report = "-1\n";
        for (const CopyStep& each : steps)
            report += fails(each) ? each.target + "\n" : "";

        std::string outcome = runWithoutRoot([&] { return runAndReport(run.batch, run.cabview); });
        if (outcome == "<none>" && GetParam() == Kind::TargetNeedsRoot)
            GTEST_SKIP() << "needs root to give up";
        if (outcome == "<none>")
            outcome = runAndReport(run.batch, run.cabview);
        EXPECT_EQ(outcome, report);
        expectSameTree(tree.now(), expected);
        mend();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, BatchFaults,
                         testing::Values(Kind::MissingSource, Kind::MissingTargetFolder, Kind::TargetIsFolder,
                                         Kind::ImmutableTarget, Kind::TargetNeedsRoot),
                         [](const testing::TestParamInfo<Kind>& kind) { return testing::PrintToString(kind.param); });

} // namespace
