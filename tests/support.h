// What the tests share: the machine as the program sees it, one complete
// installation, stubborn files, and runs of the real program under the robot.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "frame/handle.h"
#include "robot.h"

#define DISPLAY "DIN E1 (Treiber V3.11 \"Selvarin\")"
extern const char kKey[], kEntry[], kLayoutsPath[], kPreloadPath[], kSubstitutesPath[], kUninstallPath[];
extern const char* const kHelperFiles[3];
extern const std::string kQuestion, kDone, kCancelled, kCannotDelete, kNotFound;

bool Is64BitWindows();
std::string SystemDir();      // the real one, with backslash
std::string Wow64Dir();       // with backslash; "" on 32-bit Windows
std::string ProgramFolder();  // ...\Morvain
std::string InstalledExe();
std::string Shortcut(bool common);  // the chart's shortcut on the user's or the common desktop
std::string TempDir();              // with backslash
std::string LayoutPath(const std::string& key);

std::vector<std::string> CopyDirs();  // "Uninstall_Quorvex.*" directories in TEMP, sorted
std::string PendingRenames();
// The copy's file in dir, then dir itself, are marked for deletion at restart.
bool PendingDeletion(const std::string& dir);
void ClearCopies();  // every copy directory and every pending deletion
// Access for SYSTEM and the Administrators alone, nothing inherited (as far as Wine can show it).
::testing::AssertionResult OnlyForAdministrators(const std::string& path);

// Files with WOW64 redirection off, so that paths mean what the program sees.
struct NoRedirection {
    void* old = nullptr;
    BOOL off = Wow64DisableWow64FsRedirection(&old);
    ~NoRedirection() { off && Wow64RevertWow64FsRedirection(old); }
};
void PutFile(const std::string& path, const std::string& content = "x");
bool FileThere(const std::string& path);
void RemoveTree(const std::string& path);  // a file or a whole folder
std::string Content(const std::string& path);
// The ways a file refuses to go: held open without delete sharing (while the
// handle lives), read-only, or a directory in its place.
enum Stubborn { kHeldOpen, kReadOnly, kDirectory };
UniqueFile MakeStubborn(Stubborn how, const std::string& path);

// Registry. Values in the order read, data up to its first zero whatever the type.
using Values = std::vector<std::pair<std::string, std::string>>;
Values Read(HKEY root, const std::string& path);
// "name=data ...", shorter names first, then ignoring case (numbers in order); "<none>" for no key.
std::string List(HKEY root, const std::string& path);
void WriteValues(HKEY root, const std::string& path, const Values& values);  // replaces the key
void PutValue(HKEY root, const std::string& path, const std::string& name, const std::string& bytes,
              DWORD type = REG_SZ);  // REG_SZ gets its terminator added
std::string Subkeys(HKEY root, const std::string& path);  // " a b c", sorted
bool KeyThere(HKEY root, const std::string& path);
void RemoveKey(HKEY root, const std::string& path);
void SetKeyDacl(HKEY root, const std::string& path, const char* sddl);

// Driver files, the layout's key beside 00000407 and 00000409, Preload
// 1 = 00000407 and 2 = d0010407 substituted by the key, program folder with
// its three files, both shortcuts, the registration entry; no copies left.
void InstallProduct();
// The user's lists and the layouts, then the parts of the product still
// there: "driver driver32 exe pdf ico folder desktop common entry".
std::string Machine();
std::string ProductLeft();

RobotRun RunInstalled(const std::string& args, const std::vector<std::string>& answers,
                      const std::string& environment = "", const std::string& exe = InstalledExe());
// Both processes ended with exit code 0, nothing hung.
::testing::AssertionResult CleanEnd(const RobotRun& run);
// The boxes seen, each as "caption|buttons|text\n"; the expected ones built alike.
std::string Shown(const std::vector<RobotBox>& boxes);
std::string Ok(const std::string& text);       // program caption, OK (information and warning look alike)
std::string Ask(const std::string& text);      // program caption, Yes and No
std::string FileBox(const std::string& text);  // "Tastaturtreiber-Deinstallation", OK
// The program's text for a Windows error, checked on its own among the frame's tests.
std::string ErrorText(DWORD code);
