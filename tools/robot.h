// Window robot for tests: runs a program, answers its message boxes (and
// those of the copies of it that it starts) from a
// script and reports what it saw. Every string is UTF-8, whatever code page
// Windows runs with, so names outside it come through as written.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct RobotBox {
    std::string caption;
    std::string text;
    std::string buttons;  // present standard buttons, e.g. "yes,no"
    std::string answer;   // scripted word, or "unscripted" once the script ran out
    unsigned long pid = 0;
    bool hasOwner = false;
};

// The last state seen while the window existed; once it had been visible,
// a final hide before destruction does not overwrite that state.
struct RobotWindow {
    bool seen = false;
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
};

struct RobotRun {
    bool started = false;
    bool timedOut = false;  // whatever was still running then was killed
    unsigned long exitCode = 0xFFFFFFFF;
    // Other processes with the program's exe file name, in order of appearance.
    std::vector<unsigned long> otherExitCodes;
    std::vector<RobotBox> boxes;
    RobotWindow status;
    // From the start of the first process to the end of the last (process
    // times), and how long boxes stood waiting for the robot's answer in it.
    double runMs = 0;
    double boxWaitMs = 0;
};

struct RobotOptions {
    std::string commandLine;      // the caller quotes the program path
    std::string applicationName;  // empty: NULL
    // One per box: ok, cancel, yes, no, abort, retry, ignore, tryagain,
    // continue. An unknown word is recorded but the box gets the fallback
    // answer (no, ok or cancel, whichever exists first).
    std::vector<std::string> answers;
    std::string statusClass;  // empty: no status window is looked for
    std::string environment;  // "NAME=value" lines added to the robot's own; empty: inherit
    unsigned timeoutMs = 20000;
    // For pictures: before answering a box, move it down by boxShiftY pixels,
    // create the file holdSignal + box number, and wait holdMs.
    unsigned holdMs = 0;
    int boxShiftY = 0;
    std::string holdSignal;
    // Called with each box while it stands, before it is answered: what a
    // test must see while a box waits.
    std::function<void(const RobotBox&)> whileShown;
};

// UTF-8 and the UTF-16 of the wide Win32 calls, each way; zeros inside are kept.
std::wstring Utf16(const std::string& utf8);
std::string Utf8(const std::wstring& utf16);

RobotRun RunWithRobot(const RobotOptions& options);
std::string DescribeRun(const RobotRun& run);

// For tests that call the program's own operations: a thread answers the
// boxes that this process shows, from the script, until stopped. Returns what
// it saw. A box still open when it stops is not waited for.
void StartAnsweringOwnBoxes(const std::vector<std::string>& answers,
                            std::function<void(const RobotBox&)> whileShown = {});
std::vector<RobotBox> StopAnsweringOwnBoxes();
