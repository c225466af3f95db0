// What the tests share: the machine as the program sees it, a simulated
// installation, and runs of the real program under the robot.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "robot.h"

#define DISPLAY "DIN E1 (Treiber V3.11 \"Selvarin\")"
extern const char kKey[];  // layout key of the simulated installation
extern const char kEntryName[], kLayoutsPath[], kPreloadPath[], kSubstitutesPath[], kUninstallPath[];
extern const char* const kHelperFiles[3];

bool Is64BitWindows();
std::string SystemDir();      // the real one, with backslash
std::string Wow64Dir();       // with backslash; "" on 32-bit Windows
std::string ProgramFolder();  // ...\Morvain
std::string InstalledExe();
std::string Shortcut(bool common);  // the chart's shortcut on the user's or the common desktop
std::string TempDir();        // with backslash
// The copies' directories ("Uninstall_Quorvex.<8 hex>") in the temporary
// directory, sorted.
std::vector<std::string> CopyDirs();
// The copy's file in dir, then dir itself, are marked for deletion at restart.
bool PendingDeletion(const std::string& dir);
// Owner Administrators, nothing inherited, access for SYSTEM and the
// Administrators alone (as far as Wine can show it).
::testing::AssertionResult OnlyForAdministrators(const std::string& path);
// Removes every copy directory and every pending deletion.
void ClearCopies();
// Owner and DACL of a file or folder, in SDDL ("O:BAD:P(A;...)...").
std::string Descriptor(const std::string& path);
// Gives a registry key this DACL (SDDL, "D:...").
void SetKeyDacl(HKEY root, const std::string& path, const char* dacl);
std::string KeyDacl(HKEY root, const std::string& path);

// WOW64 file-system redirection off while it lives, as in the program.
struct NoRedirection {
    void* old = nullptr;
    BOOL off;
    NoRedirection();
    ~NoRedirection();
};

// Files, with WOW64 redirection off so that paths mean what the program sees.
void PutFile(const std::string& path, const std::string& content = "x");
bool FileThere(const std::string& path);
void RemoveTree(const std::string& path);  // a file or a whole folder
std::string Content(const std::string& path);

// Registry. Values of a key as "name=data ..." sorted by name ignoring case;
// data of other types than REG_SZ as "<type N>".
using Values = std::vector<std::pair<std::string, std::string>>;
std::string List(HKEY root, const std::string& path);
void WriteValues(HKEY root, const std::string& path, const Values& values);  // replaces the key
void PutValue(HKEY root, const std::string& path, const std::string& name, const std::string& bytes,
              DWORD type = REG_SZ);  // REG_SZ gets its terminator added
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);  // sorted; {"<none>"} if missing
std::string Subkeys(HKEY root, const std::string& path);  // "a b c", sorted
bool KeyThere(HKEY root, const std::string& path);
void RemoveKey(HKEY root, const std::string& path);

// A complete installation: driver files, the layout's key beside 00000407
// and 00000409, Preload 1 = 00000407 and 2 = d0010407 substituted by the key,
// program folder with its three files, both shortcuts, the registration
// entry. Clears what earlier runs left (copies, pending deletions).
void InstallProduct();
// The user's lists, the layouts and the other entries, then which parts of
// the product are there: "driver driver32 exe pdf ico folder desktop common entry".
std::string Machine();
std::string Lists();
std::string ProductLeft();

RobotRun Launch(const std::string& exe, const std::string& args, const std::vector<std::string>& answers,
             const std::string& environment = "");
inline RobotRun RunInstalled(const std::string& args, const std::vector<std::string>& answers,
                             const std::string& environment = "")
{
    return Launch(InstalledExe(), args, answers, environment);
}
// Both processes ended with exit code 0, nothing hung.
::testing::AssertionResult CleanEnd(const RobotRun& run);
// The boxes seen, each as "caption|buttons|text\n"; the expected ones built alike.
std::string Shown(const std::vector<RobotBox>& boxes);
// The robot sees caption, buttons and text; an information and a warning
// box of the program look alike to it.
std::string Ok(const std::string& text);        // program caption, OK
std::string Ask(const std::string& text);       // program caption, Yes and No
std::string FileBox(const std::string& text);   // "Tastaturtreiber-Deinstallation", OK
extern const std::string kQuestion, kDone, kCancelled;

std::string PendingRenames();
// The Windows error text a failure box must quote, built here independently.
std::string ExpectedErrorText(DWORD code);
