// What a click does with what the player has: files changed by hand are kept aside, byte for
// byte, and nothing else; `apply` repairs a tree and leaves one in order untouched; a click that
// cannot begin changes nothing; the state file is found in any letter case.

#include "consoleProcess.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";

// The console's output with the times that name folders of kept files left out.
ConsoleRun runConsole(const std::vector<std::string>& args)
{
    ConsoleRun run = runToEnd(CONSOLE_PATH, args);
    run.out = withoutKeptTimes(run.out);
    return run;
}

// The step of the batch that writes the file, as the tables spell it.
CopyStep stepWriting(Batch batch, int32_t cabview, const std::string& target)
{
    for (const CopyStep& step : stepsToRun(batch, cabview)) {
        if (asciiLowered(step.target) == asciiLowered(kTrainsets + target))
            return step;
    }
    ADD_FAILURE() << "no step writes " << target;
    return {};
}

// A changed file is kept at its path below the root as the disk spells it, which the tables
// may spell otherwise, so that it goes back by hand to the folders it came from.
std::string keptKey(const ScratchTree& tree, const CopyStep& step)
{
    return "ZEK/BR927/Sicherungen/<Zeit>/" + tree.key(step.target);
}

std::string keptLine(const ScratchTree& tree, const CopyStep& step)
{
    return "Gesichert: " + step.target + " -> Sicherungen/<Zeit>/" + tree.key(step.target) + "\n";
}

// A live engine tuned by hand, a resolution folder's texture repainted, and a live engine that
// holds its other variant (as after a click cut off): a BinPatch click keeps the first two
// aside, byte for byte, says so once, and copies every step as usual.
TEST(PlayerFiles, AClickKeepsExactlyTheFilesChangedByHandBeforeItReplacesThem)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    const CopyStep engine = stepWriting(Batch::EngfilesBin, 1024, "ZEK_BR927_serie1/ZEK_BR_927-k.eng");
    const CopyStep texture = stepWriting(Batch::EngfilesBin, 1024, "ZEK_BR927_serie1/Cabview/1280x1024/927_front1024.ace");
    writeWholeFile(tree.find(engine.target), "tuned by hand\n");
    const std::string otherVariant = "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng";
    writeWholeFile(tree.find(kTrainsets + otherVariant), tree.read(kTrainsets + "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng"));
    Snapshot expected = tree.afterCopies(tree.now(), stepsToRun(Batch::EngfilesBin, 1024));
    expected["ZEK/BR927/br927.zekconfig"] = "1\r\n1024";
    for (const CopyStep* kept : {&engine, &texture}) {
        for (fs::path folder = fs::path(keptKey(tree, *kept)).parent_path(); folder != "ZEK/BR927"; folder = folder.parent_path())
            expected[folder.string()] = "<folder>";
    }
    expected[keptKey(tree, engine)] = "tuned by hand\n";
    expected[keptKey(tree, texture)] = std::string(70000, 'p');
    const std::string keptLines = keptLine(tree, engine) + keptLine(tree, texture);
    // The texture a link (as mod managers make) to the player's file beside it: that file is kept.
    const fs::path live = tree.find(texture.target);
    writeWholeFile(live.parent_path() / "mine.ace", std::string(70000, 'p'));
    expected[(fs::path(tree.key(texture.target)).parent_path() / "mine.ace").string()] = std::string(70000, 'p');
    fs::remove(live);
    fs::create_symlink("mine.ace", live);

    const ConsoleRun click = runConsole({"binpatch"});
    EXPECT_EQ(click.exitCode, 0);
    EXPECT_NE(click.out.find(keptLines), std::string::npos) << click.out;
    EXPECT_NE(click.out.find("[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert\n"
                             "[Meldung] Geaenderte Dateien gesichert: 2 Dateien in Sicherungen/<Zeit>\n"),
              std::string::npos)
        << click.out;
    EXPECT_EQ(std::count(click.out.begin(), click.out.end(), '\n'), 2 + 2 + 2 + 2) << click.out;
    expectSameTree(tree.now(), expected);
}

// Every file below the root with what a change of it would change: its inode and time.
std::map<std::string, std::string> identities(const std::string& root)
{
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat info;
        ::lstat(entry.path().c_str(), &info);
        found[entry.path().string()] = std::to_string(info.st_ino) + " " + std::to_string(info.st_mtim.tv_sec) + "."
                                       + std::to_string(info.st_mtim.tv_nsec);
    }
    return found;
}

// `apply` copies what check finds out of order, keeping a changed file aside, and leaves the
// state file; on a tree in order it touches no file at all.
TEST(PlayerFiles, ApplyRepairsAChangedTreeKeepingTheChangeAndTouchesATreeInOrderNot)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("1\r\n1280");
    ASSERT_EQ(runConsole({"apply"}).exitCode, 0);
    const CopyStep engine = stepWriting(Batch::EngfilesBin, 1280, "ZEK_BR927_ICE2_KI/ZEK_BR402_KI.eng");
    writeWholeFile(tree.find(engine.target), "tuned by hand\n");
    const std::string stale = kTrainsets + "ZEK_BR927_prototyp/Cabview/night/927_left1024.ace";
    writeWholeFile(tree.find(stale), tree.read(kTrainsets + "ZEK_BR927_prototyp/Cabview/1024x768/night/927_left1024.ace"));
    const std::string inOrder = "BinPatch 1: 246 von 246 Dateien stimmen\nCabview 1280: 18 von 18 Dateien stimmen\n";

    const ConsoleRun repaired = runConsole({"apply"});
    EXPECT_EQ(repaired.out, keptLine(tree, engine) + "[Meldung] Geaenderte Dateien gesichert: 1 Datei in Sicherungen/<Zeit>\n" + inOrder);
    EXPECT_EQ(repaired.exitCode, 0);
    EXPECT_EQ(tree.now().at(keptKey(tree, engine)), "tuned by hand\n");
    EXPECT_EQ(tree.read(stale), tree.read(kTrainsets + "ZEK_BR927_prototyp/Cabview/1280x1024/night/927_left1024.ace"));
    EXPECT_EQ(stateFileBytes(), "1\r\n1280");

    const auto untouched = identities(tree.root());
    const ConsoleRun again = runConsole({"apply"});
    EXPECT_EQ(again.out, inOrder);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(identities(tree.root()), untouched);

    // A mark over a tree in step, as a click killed after its last rename leaves it: nothing is
    // left to finish, so the start removes it without a word.
    writeWholeFile("br927.umschaltung-laeuft", "");
    const ConsoleRun start = runConsole({});
    EXPECT_EQ(start.out, "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");
    EXPECT_EQ(start.exitCode, 0);
    EXPECT_FALSE(fs::exists("br927.umschaltung-laeuft"));
}

// `apply` over a changed live texture that cannot be replaced, which both the BinPatch and the
// cab-view batch write: the change is kept once, and the file counted once.
TEST(PlayerFiles, ApplyKeepsAndCountsAFileThatTwoBatchesWriteOnce)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("1\r\n1280");
    ASSERT_EQ(runConsole({"apply"}).exitCode, 0);
    const CopyStep texture = stepWriting(Batch::EngfilesBin, 1280, "ZEK_BR927_serie1/CABVIEW/927_front1024.ace");
    writeWholeFile(tree.find(texture.target), "painted by hand\n");
    const ImmutableFile stuck(tree.find(texture.target));
    if (!stuck.held())
        GTEST_SKIP() << "chattr +i is not available here";

    const ConsoleRun applied = runConsole({"apply"});
    EXPECT_EQ(applied.exitCode, 1);
    const auto count = [&](const std::string& text) {
        size_t found = 0;
        for (size_t at = applied.out.find(text); at != std::string::npos; at = applied.out.find(text, at + 1))
            ++found;
        return found;
    };
    EXPECT_EQ(count("Gesichert: "), 1u) << applied.out;
    EXPECT_EQ(count("[Fehler] Nicht kopiert: 1 Datei, zuerst " + texture.target + " (Zugriff verweigert)\n"), 1u) << applied.out;
    EXPECT_EQ(count("[Meldung] Geaenderte Dateien gesichert: 1 Datei in Sicherungen/<Zeit>\n"), 1u) << applied.out;
    EXPECT_EQ(tree.now().at(keptKey(tree, texture)), "painted by hand\n");
}

// A changed file that cannot be kept aside is told as a keep, with the kept path's own reason:
// a file in the way of the folder for kept files, its disk full, the folder write-protected.
// The live file is left as it is and named among the files not copied; the keep leaves no
// folders of its own behind.
TEST(PlayerFiles, AKeepThatFailsIsToldAsAKeepAndLeavesTheLiveFileAsItIs)
{
    ScratchTree tree;
    tree.createContent();
    const CopyStep engine = stepWriting(Batch::EngfilesBin, 1024, "ZEK_BR927_serie1/ZEK_BR_927-k.eng");
    const std::string edit(256 * 1024, 'e');
    writeWholeFile(tree.find(engine.target), edit);
    const struct {
        const char* what;
        std::function<bool()> block; // false where this machine cannot
        const char* reason;
    } blocks[] = {
        {"a file named Sicherungen", [] { writeWholeFile("Sicherungen", "not a folder\n"); return true; }, "Ordner fehlt"},
        {"Sicherungen on a full disk",
         [] {
             fs::create_directory("Sicherungen");
             if (::mount("tmpfs", "Sicherungen", "tmpfs", 0, "size=128k") != 0)
                 return false;
             const int filled = std::system("dd if=/dev/zero of=Sicherungen/filler bs=4k 2>/dev/null");
             (void)filled;
             return true;
         },
         "Datentraeger voll"},
        {"Sicherungen write-protected",
         [] { fs::create_directory("Sicherungen"); return std::system("chattr +i Sicherungen 2>/dev/null") == 0; },
         "Zugriff verweigert"},
    };
    for (const auto& block : blocks) {
        SCOPED_TRACE(block.what);
        writeStateFile("0\r\n1024");
        if (!block.block()) {
            std::cout << "skipped here: " << block.what << "\n";
            continue;
        }
        const auto keptTree = [] { return fs::is_directory("Sicherungen") ? snapshot("Sicherungen") : Snapshot(); };
        const Snapshot before = keptTree();
        const ConsoleRun click = runConsole({"binpatch"});
        EXPECT_EQ(click.exitCode, 1);
        const std::string reason = std::string(" (") + block.reason + ")\n";
        EXPECT_NE(click.out.find("Sichern fehlgeschlagen: " + engine.target + " -> Sicherungen/<Zeit>/" + tree.key(engine.target)
                                 + reason),
                  std::string::npos)
            << click.out;
        EXPECT_NE(click.out.find("[Fehler] Nicht kopiert: 1 Datei, zuerst " + engine.target + reason), std::string::npos);
        EXPECT_EQ(click.out.find("Kopieren fehlgeschlagen"), std::string::npos) << click.out;
        EXPECT_EQ(tree.now().at(tree.key(engine.target)), edit);
        EXPECT_EQ(keptTree(), before) << "folders left";
        const int unblocked = std::system("chattr -i Sicherungen 2>/dev/null; umount -l Sicherungen 2>/dev/null");
        (void)unblocked;
        fs::remove_all("Sicherungen");
    }
}

// Without the content tree two levels up, apply copies nothing (a click's refusal is in the
// console's table); nor does a click whose mark cannot be made. The state file and the mark are
// found in any letter case, and written back or removed under their own names.
TEST(PlayerFiles, NothingBeginsWithoutTheContentTreeOrTheMarkAndBothFilesAreFoundInAnyCase)
{
    ScratchTree tree;
    writeStateFile("0\r\n1024");
    const ConsoleRun lost = runConsole({"apply"});
    EXPECT_EQ(lost.out.find("Ordner fehlt: ../../trains/trainset\nBinPatch 0: 0 von 248 Dateien stimmen\n"), 0u) << lost.out;
    EXPECT_EQ(lost.exitCode, 1);
    EXPECT_EQ(tree.now(), (Snapshot{{"ZEK", "<folder>"}, {"ZEK/BR927", "<folder>"}, {"ZEK/BR927/br927.zekconfig", "0\r\n1024"}}));

    tree.createContent();
    fs::rename("br927.zekconfig", "BR927.zekconfig");
    // A click cut off under a mark spelt otherwise: finished at the start, told, the mark gone.
    writeWholeFile("BR927.Umschaltung-Laeuft", "");
    const ConsoleRun click = runConsole({"cabview"});
    EXPECT_EQ(click.exitCode, 0) << click.out;
    EXPECT_EQ(click.out.find("[Meldung] Unterbrochene Umschaltung abgeschlossen.\n"), 0u) << click.out;
    EXPECT_EQ(readWholeFile("BR927.zekconfig"), "0\r\n1280");
    EXPECT_FALSE(fs::exists("br927.zekconfig"));
    EXPECT_FALSE(fs::exists("BR927.Umschaltung-Laeuft"));

    // One that cannot be brought to its end whole is a start that failed.
    writeWholeFile("BR927.zekconfig", "1\r\n1280");
    writeWholeFile("br927.umschaltung-laeuft", "");
    const CopyStep first = stepsToRun(Batch::EngfilesBin, 1280).front();
    fs::remove(tree.find(first.source));
    writeWholeFile("br927.zekconfig.br927-new", "1\r\n");
    const ConsoleRun start = runConsole({});
    EXPECT_FALSE(fs::exists("br927.zekconfig.br927-new")) << "a leftover beside the state file";
    EXPECT_NE(start.out.find("[Meldung] Unterbrochene Umschaltung abgeschlossen.\n[Fehler] Nicht kopiert: 1 Datei, zuerst "
                             + first.target + " (Quelle fehlt)\n"),
              std::string::npos)
        << start.out;
    EXPECT_EQ(start.exitCode, 1);
    writeWholeFile("br927.umschaltung-laeuft", "");
    EXPECT_NE(runConsole({"apply"}).out.find("\nQuelle fehlt: " + first.source + "\n"), std::string::npos) << "no check";

    // A click whose mark cannot be made does not begin: cut off, it could not be finished. What
    // stands in the mark's way is told at the start too.
    fs::create_directory("br927.umschaltung-laeuft");
    const Snapshot before = tree.now();
    const ConsoleRun unmarked = runConsole({"cabview"});
    EXPECT_EQ(unmarked.out.find("[Fehler] Umschalten nicht moeglich: br927.umschaltung-laeuft (keine Datei)\nBinPatch "), 0u)
        << unmarked.out;
    EXPECT_NE(unmarked.out.find("[Fehler] Nicht gespeichert: br927.umschaltung-laeuft (keine Datei)\n"), std::string::npos);
    EXPECT_EQ(unmarked.exitCode, 1);
    const ConsoleRun plan = runConsole({"plan", "cabview"});
    EXPECT_EQ(plan.out, "Umschalten nicht moeglich: br927.umschaltung-laeuft (keine Datei)\n"
                        "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!\n");
    EXPECT_EQ(plan.exitCode, 1);
    EXPECT_EQ(tree.now(), before);
}

} // namespace
