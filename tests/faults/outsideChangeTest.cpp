// A long-lived console (-i) and a fresh process per click, each on one of two twin trees whose
// every name is stored in another letter case than the tables', go through the same changes
// made from outside between clicks. Both must write the same files: nothing that the long-lived
// process read for one click may steer a later one.

#include "consoleProcess.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>

namespace fs = std::filesystem;

namespace {

// Each change renames one name below the trainset folder to another, or exchanges the two at
// once (as `mv --exchange` does).
const struct {
    const char* name;
    const char* from;
    const char* to;
    bool exchange;
} kChanges[] = {
    {"two live textures exchange their names", "zek_br927_SERIE1/cABVIEW/927_LEFT1024.ACE",
     "zek_br927_SERIE1/cABVIEW/927_RIGHT1024.ACE", true},
    {"a live engine renamed to another letter case", "zek_br927_KI/zek_br_927-KI-K.ENG", "zek_br927_KI/Zek_Br_927-Ki-K.eng", false},
    {"the two resolution folders exchange their names", "zek_br927_SERIE2/cabview/1024X768", "zek_br927_SERIE2/cabview/1280X1024", true},
    {"a night folder renamed to another letter case", "zek_br927_PROTOTYP/cABVIEW/NIGHT", "zek_br927_PROTOTYP/cABVIEW/Night", false},
};

TEST(OutsideChanges, ALongLivedProcessWritesWhatAFreshProcessWritesAfterEachChange)
{
    ContentTreeOptions options;
    options.spelling = swappedCase;
    ScratchTree fresh;
    fresh.createContent(options);
    writeStateFile("0\r\n1024");
    ScratchTree longLived;
    longLived.createContent(options);
    writeStateFile("0\r\n1024");
    Console console(CONSOLE_PATH, {"-i"});
    console.readUntilRows();

    // The answer of one click: its lines up to the rows it paints after.
    const auto clickBoth = [&](const char* button) {
        console.send(button);
        const std::string kept = console.readUntilRows();
        fs::current_path(fresh.workDir());
        Console once(CONSOLE_PATH, {button});
        once.readUntilRows(); // the rows at start
        const std::string own = once.readRest();
        once.finish();
        fs::current_path(longLived.workDir());
        EXPECT_EQ(withoutKeptTimes(kept), withoutKeptTimes(own)) << button;
    };
    clickBoth("cabview"); // reads the folders that the changes change
    for (const auto& change : kChanges) {
        SCOPED_TRACE(change.name);
        for (const ScratchTree* tree : {&fresh, &longLived}) {
            const std::string from = tree->root() + "/TRAINS/TRAINSET/" + change.from;
            const std::string to = tree->root() + "/TRAINS/TRAINSET/" + change.to;
            ASSERT_EQ(::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), change.exchange ? RENAME_EXCHANGE : 0), 0);
        }
        clickBoth("cabview");
        clickBoth("binpatch");
        expectSameTree(longLived.now(), fresh.now());
    }
    EXPECT_EQ(console.finish(), 0);
}

} // namespace
