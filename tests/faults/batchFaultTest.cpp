// Each kind of failing copy, injected at the middle step of each of the four batches: the batch
// runs on past it, returns -1 and names exactly the steps that failed; every other step is
// copied and nothing else changes, the targets of the failed steps included. Where the tests
// have root, the batch runs as another user, so that a root-owned target is one it may not write.

#include "carryOut.h"
#include "fileReport.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <memory>

namespace fs = std::filesystem;

namespace {

enum class Kind { MissingSource, MissingTargetFolder, TargetIsFolder, ImmutableTarget, TargetNeedsRoot, ChangedTargetUnreadable };

void PrintTo(Kind kind, std::ostream* out)
{
    const char* names[] = {"MissingSource", "MissingTargetFolder", "TargetIsFolder", "ImmutableTarget", "TargetNeedsRoot",
                           "ChangedTargetUnreadable"};
    *out << names[static_cast<int>(kind)];
}

// What the player is told of each kind, in the order of the kinds.
const char* const kReasons[] = {"Quelle fehlt",       "Ordner fehlt",       "keine Datei",
                                "Zugriff verweigert", "Zugriff verweigert", "Zugriff verweigert"};

// The click's result, then the target of each step that failed with its reason, a line each.
std::string runAndReport(Button button, const Settings& settings)
{
    const Plan plan = *planClick(button, settings);
    const PlanRun run = carryOut(plan);
    std::string report = std::string(run.succeeded() ? "1" : "-1") + "\n";
    for (const FileFailure& failure : filesNotCopied(plan, run))
        report += failure.target + " (" + reasonText(failure.error) + ")\n";
    return report;
}

class BatchFaults : public testing::TestWithParam<Kind> {};

TEST_P(BatchFaults, EveryBatchCopiesAllButTheStepsItCannotAndNamesThose)
{
    ScratchTree tree;
    tree.createContent();
    const struct {
        const char* name;
        Batch batch;
        Button button;
        Settings settings;
    } runs[] = {{"Cabfiles1024", Batch::Cabfiles1024, Button::Cabview, {0, 1024}},
                {"Cabfiles1280", Batch::Cabfiles1280, Button::Cabview, {1, 1280}},
                {"EngfilesBin at 1024", Batch::EngfilesBin, Button::BinPatch, {1, 1024}},
                {"EngfilesNoBin at 1280", Batch::EngfilesNoBin, Button::BinPatch, {0, 1280}}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        for (const auto& entry : fs::recursive_directory_iterator(tree.root()))
            fs::permissions(entry.path(), entry.is_directory() ? fs::perms::all : fs::perms(0666));
        const std::vector<CopyStep> steps = stepsToRun(run.batch, run.settings.cabview);
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
        case Kind::ChangedTargetUnreadable: // changed by hand, so kept aside first, which needs its bytes
            mend = [target, content = readWholeFile(target)] { writeWholeFile(target, content); };
            writeWholeFile(target, "changed by hand\n");
            ASSERT_EQ(::chown(target.c_str(), 0, 0), 0);
            fs::permissions(target, fs::perms(0600));
            break;
        }
        const auto under = [&](const std::string& path) { return asciiLowered(path).rfind(asciiLowered(broken), 0) == 0; };
        const auto fails = [&](const CopyStep& each) { return under(each.source) || under(each.target); };
        const Snapshot expected = tree.afterCopies(tree.now(), steps, fails);
        std::string report = "-1\n";
        for (const CopyStep& each : steps) {
            if (fails(each))
                report += each.target + " (" + (under(each.source) ? "Quelle fehlt" : kReasons[static_cast<int>(GetParam())]) + ")\n";
        }

        std::string outcome = runWithoutRoot([&] { return runAndReport(run.button, run.settings); });
        if (outcome == "<none>" && (GetParam() == Kind::TargetNeedsRoot || GetParam() == Kind::ChangedTargetUnreadable))
            GTEST_SKIP() << "needs root to give up";
        if (outcome == "<none>")
            outcome = runAndReport(run.button, run.settings);
        EXPECT_EQ(outcome, report);
        expectSameTree(tree.now(), expected);
        mend();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, BatchFaults,
                         testing::Values(Kind::MissingSource, Kind::MissingTargetFolder, Kind::TargetIsFolder,
                                         Kind::ImmutableTarget, Kind::TargetNeedsRoot, Kind::ChangedTargetUnreadable),
                         [](const testing::TestParamInfo<Kind>& kind) { return testing::PrintToString(kind.param); });

} // namespace
