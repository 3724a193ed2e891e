// Faults injected into each of the four batches: one step failing in each way a copy can
// fail, and many failing at once. Each time the batch returns -1, every other step is still
// copied, nothing else in the tree changes (the targets of failed steps included), and the
// next run starts again from 1.

#include "faultHelpers.h"
#include "fileIO.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

enum class Way {
    MissingSource,       // the step's source file is gone
    MissingTargetFolder, // the folder that holds the step's target is gone (moved aside)
    TargetIsFolder,      // a folder stands where the target file should be
    ImmutableTarget,     // chattr +i: not even root can write it
    TargetNeedsRoot,     // a root-owned target, and the batch runs in a process without root
};

const char* nameOf(Way way)
{
    switch (way) {
    case Way::MissingSource: return "MissingSource";
    case Way::MissingTargetFolder: return "MissingTargetFolder";
    case Way::TargetIsFolder: return "TargetIsFolder";
    case Way::ImmutableTarget: return "ImmutableTarget";
    case Way::TargetNeedsRoot: return "TargetNeedsRoot";
    }
    return "?";
}

struct BatchRun {
    const char* name;
    Batch batch;
    int32_t cabview;
};

const BatchRun kRuns[] = {
    {"Cabfiles1024", Batch::Cabfiles1024, 0},
    {"Cabfiles1280", Batch::Cabfiles1280, 0},
    {"EngfilesBin1024", Batch::EngfilesBin, 1024},
    {"EngfilesNoBin1280", Batch::EngfilesNoBin, 1280},
};

struct Fault {
    Way way;
    size_t step; // index into the steps that the run carries out
};

// Runs the batch in this process, or without root rights, and tells the result and the
// targets of the steps that failed (as the batch names them).
struct Outcome {
    int32_t result = 0;
    std::set<std::string> failedTargets;
};

Outcome runBatchInProcess(const BatchRun& run)
{
    Outcome outcome;
    setCopyFailureObserver([&](const std::string&, const std::string& target) { outcome.failedTargets.insert(target); });
    outcome.result = runBatch(run.batch, run.cabview);
    setCopyFailureObserver(nullptr);
    return outcome;
}

bool runBatchWithoutRoot(const BatchRun& run, Outcome& outcome)
{
    const std::string text = runWithoutRoot([&] {
        const Outcome inChild = runBatchInProcess(run);
        std::string out = std::to_string(inChild.result) + "\n";
        for (const std::string& target : inChild.failedTargets)
            out += target + "\n";
        return out;
    });
    if (text == "<none>" || text.empty())
        return false;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    outcome.result = std::stoi(line);
    while (std::getline(lines, line))
        outcome.failedTargets.insert(line);
    return true;
}

class BatchFaults : public testing::Test {
protected:
    void SetUp() override { tree.createContent(); }

    std::string onDisk(const std::string& tablePath) const { return tree.find(tablePath); }
    std::string relative(const std::string& path) const
    {
        return fs::relative(path, tree.root()).generic_string();
    }

    // Breaks the tree so that the given step fails; remembers how to mend it.
    void inject(const std::vector<CopyStep>& steps, const Fault& fault)
    {
        const CopyStep& step = steps.at(fault.step);
        switch (fault.way) {
        case Way::MissingSource: {
            const std::string path = onDisk(step.source);
            ASSERT_FALSE(path.empty()) << step.source;
            const std::string content = readWholeFile(path);
            fs::remove(path);
            mend_.push_back([path, content] { writeWholeFile(path, content); });
            brokenSources_.insert(lowered(step.source));
            break;
        }
        case Way::MissingTargetFolder: {
            const std::string folderPath = step.target.substr(0, step.target.rfind('/'));
            const std::string folder = onDisk(folderPath);
            if (folder.empty())
                break; // moved aside by an earlier fault already
            const std::string aside = folder + ".aside";
            fs::rename(folder, aside);
            mend_.push_back([folder, aside] { fs::rename(aside, folder); });
            brokenFolders_.insert(lowered(folderPath) + "/");
            break;
        }
        case Way::TargetIsFolder: {
            const std::string path = onDisk(step.target);
            ASSERT_FALSE(path.empty()) << step.target;
            fs::remove(path);
            fs::create_directory(path);
            writeWholeFile(path + "/inside", "keep me\n");
            mend_.push_back([path] { fs::remove_all(path); });
            brokenTargets_.insert(lowered(step.target));
            break;
        }
        case Way::ImmutableTarget: {
            const std::string path = onDisk(step.target);
            ASSERT_FALSE(path.empty()) << step.target;
            locks_.push_back(std::make_unique<ImmutableFile>(path));
            if (!locks_.back()->held())
                GTEST_SKIP() << "chattr +i is not available here";
            brokenTargets_.insert(lowered(step.target));
            break;
        }
        case Way::TargetNeedsRoot: {
            if (::geteuid() != 0)
                GTEST_SKIP() << "needs root to give up";
            needsRoot_.insert(onDisk(step.target));
            brokenTargets_.insert(lowered(step.target));
            break;
        }
        }
    }

    // Every other target, and every folder a new file goes into, is open to anyone, so that
    // only the chosen targets need root.
    void openTheTreeToEveryone() const
    {
        for (const auto& entry : fs::recursive_directory_iterator(tree.root())) {
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms(0777));
            else if (entry.is_regular_file())
                fs::permissions(entry.path(), needsRoot_.count(entry.path().string()) ? fs::perms(0644) : fs::perms(0666));
        }
    }

    bool expectedToFail(const CopyStep& step) const
    {
        const std::string source = lowered(step.source);
        const std::string target = lowered(step.target);
        if (brokenSources_.count(source) || brokenTargets_.count(target))
            return true;
        for (const std::string& folder : brokenFolders_) {
            if (source.rfind(folder, 0) == 0 || target.rfind(folder, 0) == 0)
                return true;
        }
        return false;
    }

    // Injects the faults, runs the batch and checks the whole tree afterwards; then mends the
    // tree and checks that the batch succeeds again from scratch.
    void runWithFaults(const BatchRun& run, const std::vector<Fault>& faults)
    {
        const std::vector<CopyStep> steps = stepsToRun(run.batch, run.cabview);
        std::map<std::string, std::string> sourceBytes;
        for (const CopyStep& step : steps)
            sourceBytes[step.source] = tree.read(step.source);
        bool withoutRoot = false;
        for (const Fault& fault : faults) {
            inject(steps, fault);
            if (testing::Test::IsSkipped() || testing::Test::HasFatalFailure())
                return;
            withoutRoot = withoutRoot || fault.way == Way::TargetNeedsRoot;
        }
        if (withoutRoot)
            openTheTreeToEveryone();

        // What the tree must hold afterwards: each step expected to succeed has copied its
        // source, and nothing else has changed.
        const Snapshot before = snapshot(tree.root());
        Snapshot expected = before;
        std::set<std::string> expectedFailures;
        for (const CopyStep& step : steps) {
            if (expectedToFail(step)) {
                expectedFailures.insert(step.target);
                continue;
            }
            expected[relative(onDisk(step.target))] = before.at(relative(onDisk(step.source)));
        }
        ASSERT_FALSE(expectedFailures.empty());
        ASSERT_LT(expectedFailures.size(), steps.size());

        Outcome outcome;
        if (withoutRoot) {
            if (!runBatchWithoutRoot(run, outcome))
                GTEST_SKIP() << "could not give up root";
        } else {
            outcome = runBatchInProcess(run);
        }
        EXPECT_EQ(outcome.result, -1);
        EXPECT_EQ(outcome.failedTargets, expectedFailures);
        const Snapshot after = snapshot(tree.root());
        EXPECT_EQ(after.size(), expected.size()) << "files or folders were created or removed";
        for (const auto& [path, content] : expected) {
            const auto found = after.find(path);
            ASSERT_NE(found, after.end()) << "lost: " << path;
            EXPECT_EQ(found->second, content) << path;
        }

        // Mended, the same batch succeeds again: no failure carries over.
        for (auto mend = mend_.rbegin(); mend != mend_.rend(); ++mend)
            (*mend)();
        locks_.clear(); // after the folders are back where the locks were taken
        const Outcome again = runBatchInProcess(run);
        EXPECT_EQ(again.result, 1);
        EXPECT_TRUE(again.failedTargets.empty());
        for (const CopyStep& step : steps)
            EXPECT_EQ(tree.read(step.target), sourceBytes[step.source]) << step.target;
    }

    ScratchTree tree;

private:
    std::vector<std::function<void()>> mend_;
    std::vector<std::unique_ptr<ImmutableFile>> locks_;
    std::set<std::string> brokenSources_;
    std::set<std::string> brokenTargets_;
    std::set<std::string> brokenFolders_;
    std::set<std::string> needsRoot_;
};

// One batch, one way of failing, at the first, a middle and the last step.
class OneStepFails : public BatchFaults,
                     public testing::WithParamInterface<std::tuple<BatchRun, Way, const char*>> {};

TEST_P(OneStepFails, OnlyThatStepIsLost)
{
    const auto& [run, way, where] = GetParam();
    const size_t count = stepsToRun(run.batch, run.cabview).size();
    const std::string position = where;
    const size_t step = position == "first" ? 0 : position == "middle" ? count / 2 : count - 1;
    runWithFaults(run, {{way, step}});
}

INSTANTIATE_TEST_SUITE_P(
    EveryBatch, OneStepFails,
    testing::Combine(testing::ValuesIn(kRuns),
                     testing::Values(Way::MissingSource, Way::MissingTargetFolder, Way::TargetIsFolder,
                                     Way::ImmutableTarget, Way::TargetNeedsRoot),
                     testing::Values("first", "middle", "last")),
    [](const auto& param) {
        return std::string(std::get<0>(param.param).name) + "_" + nameOf(std::get<1>(param.param)) + "_"
               + std::get<2>(param.param);
    });

// Many steps failing in one run, in every way at once.
class ManyStepsFail : public BatchFaults, public testing::WithParamInterface<BatchRun> {};

TEST_P(ManyStepsFail, EveryOtherStepIsStillCopied)
{
    const BatchRun& run = GetParam();
    const size_t count = stepsToRun(run.batch, run.cabview).size();
    std::vector<Fault> faults = {
        {Way::MissingSource, 0},
        {Way::TargetIsFolder, 1},
        {Way::ImmutableTarget, count / 3},
        {Way::ImmutableTarget, count - 1},
    };
    for (size_t step = 3; step < count - 1; step += 7) {
        if (step != count / 3)
            faults.push_back({Way::MissingSource, step});
    }
    // Last, since it may take away files that the faults above break one by one.
    faults.push_back({Way::MissingTargetFolder, count / 2});
    runWithFaults(run, faults);
}

TEST_P(ManyStepsFail, WithoutRootEveryRootOwnedTargetFails)
{
    const BatchRun& run = GetParam();
    const size_t count = stepsToRun(run.batch, run.cabview).size();
    std::vector<Fault> faults;
    for (size_t step = 0; step < count; step += 4)
        faults.push_back({Way::TargetNeedsRoot, step});
    faults.push_back({Way::MissingSource, 1});
    runWithFaults(run, faults);
}

INSTANTIATE_TEST_SUITE_P(EveryBatch, ManyStepsFail, testing::ValuesIn(kRuns),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
