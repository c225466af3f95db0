// What the tests share: the machine as the program sees it, a simulated
// installation of the product, and runs of the real program under the robot.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "robot.h"

extern const char kKey[];          // layout key of the simulated installation
extern const char kEntryName[];    // its entry in the list of installed software
extern const char kShortcut[];     // shortcut file name on both desktops
extern const char* const kHelperFiles[3];
extern const char kLayoutsPath[];  // HKLM
extern const char kPreloadPath[];  // HKCU
extern const char kSubstitutesPath[];
extern const char kUninstallPath[];  // HKLM

bool Is64BitWindows();
std::string SystemDir();        // the real system directory, with backslash
std::string Wow64Dir();         // the 32-bit one on 64-bit Windows, else ""
std::string ProgramFolder();    // ...\Morvain, no backslash
std::string TempDir();          // with backslash
std::string UserDesktop();      // with backslash
std::string CommonDesktop();    // with backslash

// Files, with WOW64 redirection off so that paths mean what the program sees.
void PutFile(const std::string& path, const std::string& content = "x");
bool FileThere(const std::string& path);
void RemoveFile(const std::string& path);
void PutDirectory(const std::string& path);
void RemoveTree(const std::string& path);

// Registry values of one key, sorted by name ignoring case; the data of
// REG_SZ values as text, of others as "<type N>".
using Values = std::vector<std::pair<std::string, std::string>>;
Values ReadValues(HKEY root, const std::string& path);
bool KeyThere(HKEY root, const std::string& path);
void RemoveKey(HKEY root, const std::string& path);
// Replaces the key's values by these (REG_SZ); creates the key.
void WriteValues(HKEY root, const std::string& path, const Values& values);
void PutValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::string& bytes);
std::vector<std::string> Subkeys(HKEY root, const std::string& path);

// A complete installation: driver file(s), the layout's key beside the
// standard German and US layouts, Preload 1 = 00000407 and 2 = d0010407
// substituted by the layout key, program folder with the program and its
// helper files, both shortcuts, the registration entry. Clears leftovers of
// earlier tests (copies in the temporary directory, pending deletions).
void InstallProduct();

// Runs the installed program with args (e.g. kKey or "E0010407 /force").
RobotRun RunInstalled(const std::string& args, const std::vector<std::string>& answers,
                      const std::string& environment = "");
// Runs the program from another path (copied there first).
RobotRun RunFrom(const std::string& exePath, const std::string& args,
                 const std::vector<std::string>& answers, const std::string& environment = "");

// A whole-machine picture of everything the product or the tests touch.
struct MachineState {
    Values preload, substitutes;
    std::vector<std::string> layouts, uninstallEntries;
    bool driver = false, driver32 = false, folder = false;
    std::vector<bool> helpers;
    bool userShortcut = false, commonShortcut = false;
    bool operator==(const MachineState& o) const;
};
MachineState Capture();
std::string Describe(const MachineState& s);

// The copy's path in the temporary directory and the pending deletions.
std::string CopyPath();
std::string PendingRenames();

// The system's text for an error code, asked so that insert markers stay,
// and the Windows error text a failure box must quote for it: both built here,
// not by the code under test.
std::string SystemText(DWORD code);
std::string ExpectedErrorText(DWORD code);

// Expected box, compared with what the robot saw.
struct Box {
    const char* caption;
    const char* text;
    const char* buttons;
    bool prefixOnly = false;  // the text goes on with a Windows error text
};
extern const char kProgramCaption[];  // "Uninstall_Quorvex"
extern const char kFileCaption[];     // "Tastaturtreiber-Deinstallation"
void ExpectBoxes(const RobotRun& run, const std::vector<Box>& expected);
// Both processes ended with exit code 0, nothing hung.
void ExpectCleanEnd(const RobotRun& run);
