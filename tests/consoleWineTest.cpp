// The console front end built for Windows, run as its own process (under Wine on the test
// machines): the same output, byte for byte, and the same exit codes as on Linux.

#include "scratchTree.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

namespace {

const std::string kTrainsets = "../../trains/trainset/";

struct Result {
    std::string out;
    std::string err;
    DWORD exitCode = 0;
};

// A file the child process writes its output into; beside the working directory, so that
// the tool never sees it.
class OutputFile {
public:
    explicit OutputFile(std::string path) : path_(std::move(path))
    {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        handle_ = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~OutputFile() { DeleteFileA(path_.c_str()); }
    HANDLE handle() const { return handle_; }
    std::string readAfterClosing()
    {
        CloseHandle(handle_);
        return readWholeFile(path_);
    }

private:
    std::string path_;
    HANDLE handle_;
};

Result runConsole(const std::string& args)
{
    OutputFile out("../out.txt");
    OutputFile err("../err.txt");
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                     OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out.handle();
    startup.hStdError = err.handle();
    std::string commandLine = std::string("\"") + CONSOLE_PATH + "\" " + args;
    PROCESS_INFORMATION process{};
    Result result;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << CONSOLE_PATH;
        CloseHandle(input);
        return result;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(input);
    result.out = out.readAfterClosing();
    result.err = err.readAfterClosing();
    return result;
}

size_t lineCount(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ConsoleUnderWine, ClicksPlanCheckAndExitCodes)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    // Both settings there and back: every live file then comes from its batch.
    const Result clicks = runConsole("binpatch binpatch cabview cabview");
    EXPECT_EQ(clicks.exitCode, 0u);
    EXPECT_EQ(lineCount(clicks.out), 2u + 4 * 3);
    EXPECT_EQ(clicks.out.find('\r'), std::string::npos) << "lines end in LF alone, as on Linux";

    const Result inOrder = runConsole("check");
    EXPECT_EQ(inOrder.out, "BinPatch 0: 248 von 248 Dateien stimmen\nCabview 1024: 18 von 18 Dateien stimmen\n");
    EXPECT_EQ(inOrder.exitCode, 0u);

    const std::string source = kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/927_left1024.ace";
    const std::string target = kTrainsets + "ZEK_BR927_serie1/Cabview/927_left1024.ace";
    tree.remove(source);
    const Result plan = runConsole("plan cabview");
    EXPECT_EQ(lineCount(plan.out), 18u);
    EXPECT_NE(plan.out.find(source + " -> " + target + " (fehlt)\n"), std::string::npos);
    EXPECT_EQ(plan.exitCode, 0u);

    const Result failed = runConsole("cabview");
    EXPECT_EQ(failed.out, "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n"
                          "Kopieren fehlgeschlagen: " + source + " -> " + target + "\n"
                          "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!\n"
                          "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");

    const Result outOfOrder = runConsole("check");
    EXPECT_EQ(outOfOrder.out, "BinPatch 0: 248 von 248 Dateien stimmen\nCabview 1280: 17 von 18 Dateien stimmen\n"
                              "Quelle fehlt: " + source + "\n");
    EXPECT_EQ(outOfOrder.exitCode, 1u);
}

TEST(ConsoleUnderWine, WrongArgumentExitsWithTwoAndUsageOnStandardError)
{
    ScratchTree tree;
    const Result wrong = runConsole("check binpatch");
    EXPECT_EQ(wrong.exitCode, 2u);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err.rfind("Aufruf: br927config", 0), 0u);
    const Result help = runConsole("--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.out.rfind("Aufruf: br927config", 0), 0u);
}

} // namespace
