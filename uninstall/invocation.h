// The command line's check and the hand-over to a copy in the temporary
// directory, which alone may delete the installed program file.
#pragma once
#include <cstddef>

extern bool gForce;

// The exit code of a quiet run, as deployment tools know them from Windows
// Installer; without /quiet the program always ends with 0.
enum ExitCode : unsigned {
    kExitUninstalled = 0,
    kExitBadCommandLine = 87,
    kExitFailed = 1603,      // any other refusal, or a failure on the way
    kExitNotInstalled = 1605,
};
extern unsigned gExitCode;           // "/force" given as word 2: skip the driver-file comparison

// Why a command line is refused; kArgumentsAccepted when it is not.
enum ArgumentVerdict {
    kArgumentsAccepted,
    kArgumentsMissing,   // not one word, and not the key followed by "/force"
    kKeyLength,          // the key has not exactly 8 characters
    kKeyNotGerman,       // characters 5 to 8 are not "0407"
    kKeyStandard,        // the standard layout 00000407
};

// Judges the argument table; sets gForce and, past the word count, gLayoutKey.
ArgumentVerdict ValidateArguments();

// True when modulePath names a file directly inside a copy directory
// ("Uninstall_Quorvex." and 8 hexadecimal digits) directly inside
// tempDirectory (which ends in a backslash). Letter case is not compared.
bool IsCopyPath(const char* modulePath, const char* tempDirectory);

// True only in the copy in the temporary directory once everything passed;
// the installed program starts the copy and gets false.
bool CheckInvocation();
// Starts programFile with "programFile" parameters, inheriting no handle;
// true when it started. With process given, the process handle is handed
// over there instead of being closed.
bool LaunchProgram(const char* programFile, const char* parameters, void** process = nullptr);

// Makes a fresh copy directory inside tempDirectory that only SYSTEM and the
// Administrators can open; random() gives its 8 digits, a few tries long.
// Never takes a directory that was there before. True with its path (no
// final backslash) in directory.
bool MakeCopyDirectory(const char* tempDirectory, char* directory, size_t size, unsigned (*random)());

// In a quiet run's copy: moves the installed program, still running while it
// waits for the copy, out of the program folder into the copy's directory.
// True when it went.
bool MoveWaitingInstallerAside(const char* path);

// In the copy, on every way out: marks its own file, then its directory, for
// deletion at the next restart. Does nothing in the installed program.
void ScheduleCopyRemoval();
