// Console front end: the same controller as the window, with messages, button captions and
// indicators printed as lines. Each argument "binpatch" or "cabview" is one click; "check"
// compares the live files with the settings instead.

#include "controller.h"
#include "fileReport.h"

#ifdef _WIN32
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#endif

#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Aufruf: br927config [binpatch|cabview]... | -i | plan binpatch|cabview | check | apply | --help | --version";
const char kHelp[] =
    "  binpatch, cabview   ein Klick auf diese Schaltflaeche, der Reihe nach\n"
    "  -i                  ein Klick je Zeile der Standardeingabe\n"
    "  plan <schalter>     die Kopierschritte des naechsten Klicks; kopiert nichts\n"
    "                      (fehlt: die Quelle fehlt; wird gesichert: die geaenderte\n"
    "                      Datei wird vorher gesichert)\n"
    "  check               vergleicht die aktiven Dateien mit den Einstellungen; schreibt nichts\n"
    "  apply               bringt die aktiven Dateien in Einklang mit den Einstellungen\n"
    "                      (geaenderte Dateien werden vorher gesichert)\n"
    "Arbeitsordner: ZEK/BR927 des Simulators, neben br927.zekconfig.\n";

// Carries out the controller's requests on standard output, keeping the captions the
// buttons would show.
class ConsoleFrontEnd : public FrontEnd {
public:
    explicit ConsoleFrontEnd(std::ostream& out) : out_(out) {}

    void showMessage(const char* text, const char* title) override
    {
        out_ << '[' << title << "] " << text << '\n';
    }
    void setButtonCaption(Button button, const char* text) override
    {
        captions_[index(button)] = text;
    }
    void requestRepaint() override {}
    void endProgram() override { ended_ = true; }

    // As the window does when it creates its buttons.
    void createButtons(const Controller& controller)
    {
        for (const Button button : {Button::BinPatch, Button::Cabview})
            captions_[index(button)] = controller.caption(button);
    }

    // The two rows of the window: value, indicator and button caption.
    void paint(const Controller& controller)
    {
        paintRow(controller, Button::BinPatch, "BinPatch ");
        paintRow(controller, Button::Cabview, "Cabview ");
    }

    bool ended() const { return ended_; }

private:
    static size_t index(Button button) { return button == Button::BinPatch ? 0 : 1; }

    void paintRow(const Controller& controller, Button button, const char* name)
    {
        out_ << name << controller.value(button) << ": " << indicatorWord(controller.indicator(button)) << " ["
             << captions_[index(button)] << "]\n";
    }

    static const char* indicatorWord(Indicator indicator)
    {
        switch (indicator) {
        case Indicator::BinPatchOn:
            return "aktiviert";
        case Indicator::BinPatchOff:
            return "deaktiviert";
        case Indicator::Cabview1024:
            return "1024x768";
        case Indicator::Cabview1280:
            break;
        }
        return "1280x1024";
    }

    std::ostream& out_;
    std::string captions_[2]; // as the buttons show them, by index(button)
    bool ended_ = false;
};

std::optional<Button> parseButton(const std::string& word)
{
    if (word == "binpatch")
        return Button::BinPatch;
    if (word == "cabview")
        return Button::Cabview;
    return std::nullopt;
}

struct Invocation {
    enum class Mode { Clicks, Interactive, Plan, Check, Apply, Help, Version } mode = Mode::Clicks;
    std::vector<Button> clicks; // Clicks: in order; Plan: the one button
};

// The modes given by one word alone.
std::optional<Invocation::Mode> singleWordMode(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return std::nullopt;
    if (args[0] == "-i")
        return Invocation::Mode::Interactive;
    if (args[0] == "check")
        return Invocation::Mode::Check;
    if (args[0] == "apply")
        return Invocation::Mode::Apply;
    if (args[0] == "--help")
        return Invocation::Mode::Help;
    if (args[0] == "--version")
        return Invocation::Mode::Version;
    return std::nullopt;
}

std::optional<Invocation> parseArguments(int argc, char** argv)
{
    Invocation invocation;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::optional<Invocation::Mode> mode = singleWordMode(args)) {
        invocation.mode = *mode;
        return invocation;
    }
    if (!args.empty() && args[0] == "plan") {
        if (args.size() != 2)
            return std::nullopt;
        invocation.mode = Invocation::Mode::Plan;
    }
    const size_t first = invocation.mode == Invocation::Mode::Plan ? 1 : 0;
    for (size_t i = first; i < args.size(); ++i) {
        const std::optional<Button> button = parseButton(args[i]);
        if (!button)
            return std::nullopt;
        invocation.clicks.push_back(*button);
    }
    return invocation;
}

// 0 when everything ended as it should and every line reached standard output, else 1.
int exitCode(bool succeeded)
{
    std::cout.flush();
    return succeeded && std::cout ? 0 : 1;
}

// Prints the plan of a click, a line per step; true when the click would begin.
bool printPlan(const ClickPlan& planned, std::ostream& out)
{
    if (!planned.plan) {
        out << '[' << planned.title << "] " << planned.text << '\n';
        return false;
    }
    for (const PlannedStep& each : planned.plan->steps)
        out << planLine(each) << '\n';
    return true;
}

// Prints a check of the live files; true when the command ended as it should.
bool printCheck(const TreeReport& report, std::ostream& out)
{
    if (report.check) {
        for (const std::string& line : checkLines(*report.check))
            out << line << '\n';
    }
    return report.succeeded;
}

// One click per line until the end of the input; the output is flushed after each, so that
// a script driving the tool sees every answer at once. True when every line was a click and
// every click succeeded: a line that names no button is skipped, and the script must learn
// that its click did not happen.
bool runInteractive(Controller& controller, ConsoleFrontEnd& frontEnd)
{
    bool succeeded = true;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::optional<Button> button = parseButton(line);
        if (!button) {
            std::cerr << "Unbekannter Befehl: " << line << '\n';
            succeeded = false;
            continue;
        }
        succeeded = controller.toggle(*button) && succeeded;
        frontEnd.paint(controller);
        std::cout.flush();
    }
    return succeeded;
}

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // The same bytes as on every other system: lines end in LF alone.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const std::optional<Invocation> invocation = parseArguments(argc, argv);
    if (!invocation) {
        std::cerr << kUsage << '\n';
        return 2;
    }

#ifndef _WIN32
    // A reader that goes away must not end a click midway; the stream is checked at the end.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (invocation->mode == Invocation::Mode::Help) {
        std::cout << kUsage << '\n' << kHelp;
        return exitCode(true);
    }
    if (invocation->mode == Invocation::Mode::Version) {
        std::cout << "br927config " << BR927_VERSION << '\n';
        return exitCode(true);
    }

    ConsoleFrontEnd frontEnd(std::cout);
    Controller controller(frontEnd);
    setFileReportObserver([](const std::string& line) { std::cout << line << '\n'; });

    if (invocation->mode == Invocation::Mode::Check)
        return exitCode(printCheck(controller.check(), std::cout));
    if (invocation->mode == Invocation::Mode::Plan) {
        if (!controller.loadStatesToLook())
            return exitCode(false);
        return exitCode(printPlan(controller.plan(invocation->clicks.front()), std::cout));
    }

    const bool loaded = controller.loadStates();
    if (invocation->mode == Invocation::Mode::Apply) {
        // After the read error nothing can be applied; after a start that could not finish a
        // click cut off, apply tries again and tells what it found.
        if (frontEnd.ended())
            return exitCode(false);
        const bool inOrder = printCheck(controller.apply(), std::cout);
        return exitCode(loaded && inOrder);
    }

    frontEnd.createButtons(controller);
    frontEnd.paint(controller);
    // After the read error the window still shows once, then its message loop ends.
    if (frontEnd.ended())
        return exitCode(false);
    std::cout.flush();

    if (invocation->mode == Invocation::Mode::Interactive)
        return exitCode(runInteractive(controller, frontEnd) && loaded);
    bool succeeded = loaded;
    for (const Button button : invocation->clicks) {
        succeeded = controller.toggle(button) && succeeded;
        frontEnd.paint(controller);
    }
    return exitCode(succeeded);
}
