#pragma once

#include "fileError.h"
#include "filePair.h"
#include "plan.h"
#include "treeCheck.h"

#include <functional>
#include <string>
#include <vector>

// What the player is told of single files: the reason words, and the lines that a command
// tells as it goes (a copy or a file of the tool's own that failed, a file kept aside, a
// missing folder). The console prints each line as it is told; the window shows none of them,
// only the messages the controller makes of the results.

// Why a file could not be handled, in the player's words.
const char* reasonText(FileError error);

// Told of every line, as it happens; none is set unless a front end sets one.
using FileReportObserver = std::function<void(const std::string& line)>;
void setFileReportObserver(FileReportObserver observer);

// Tells the observer, if there is one.
void reportFileLine(const std::string& line);

// "<text> (<reason>)", as every line and message about a file ends.
std::string withReason(const std::string& text, FileError error);

// "Gesichert: <live> -> <kept>", or "Sichern fehlgeschlagen: <live> -> <kept> (<reason>)".
std::string keepLine(const FilePair& keep, FileError kept);

// "Kopieren fehlgeschlagen: <source> -> <target> (<reason>)".
std::string copyFailedLine(const CopyStep& step, FileError error);

// "Ordner fehlt: <folder>".
std::string folderMissingLine(const char* folder);

// "Sperre belegt: <lock>": another click kept the click lock past this one's patience.
std::string lockBusyLine();

// A step of a plan as `plan` prints it: "<source> -> <target>", ending in " (fehlt)" when its
// source is missing and in " (wird gesichert)" when its live file is kept aside first.
std::string planLine(const PlannedStep& each);

// A check: one summary per setting, then one line per finding.
std::vector<std::string> checkLines(const TreeCheck& check);
