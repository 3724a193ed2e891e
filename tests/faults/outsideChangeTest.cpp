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

// Exchanges two names at once, as `mv --exchange` does.
void exchange(const std::string& first, const std::string& second)
{
    ASSERT_EQ(::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE), 0)
        << first << " <-> " << second;
}

struct Change {
    const char* name;
    std::function<void(const std::string& trainsets)> apply;
};

const Change kChanges[] = {
    {"two live textures exchange their names",
     [](const std::string& trainsets) {
         const std::string cabview = trainsets + "zek_br927_SERIE1/cABVIEW/";
         exchange(cabview + "927_LEFT1024.ACE", cabview + "927_RIGHT1024.ACE");
     }},
    {"a live engine renamed to another letter case",
     [](const std::string& trainsets) {
         fs::rename(trainsets + "zek_br927_KI/zek_br_927-KI-K.ENG", trainsets + "zek_br927_KI/Zek_Br_927-Ki-K.eng");
     }},
    {"the two resolution folders exchange their names",
     [](const std::string& trainsets) {
         const std::string cabview = trainsets + "zek_br927_SERIE2/cabview/";
         exchange(cabview + "1024X768", cabview + "1280X1024");
     }},
    {"a night folder moved aside and one in another case put in its place",
     [](const std::string& trainsets) {
         const std::string cabview = trainsets + "zek_br927_PROTOTYP/cABVIEW/";
         fs::rename(cabview + "NIGHT", cabview + "aside");
         fs::create_directory(cabview + "Night");
     }},
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
        EXPECT_EQ(kept, own) << button;
    };
    clickBoth("binpatch");
    clickBoth("cabview");
    for (const Change& change : kChanges) {
        SCOPED_TRACE(change.name);
        for (const ScratchTree* tree : {&fresh, &longLived})
            change.apply(tree->root() + "/TRAINS/TRAINSET/");
        clickBoth("cabview");
        clickBoth("binpatch");
        expectSameTree(longLived.now(), fresh.now());
    }
    EXPECT_EQ(console.finish(), 0);
}

} // namespace
