// The hand-over to a copy in the temporary directory, which alone may
// delete the installed program file.
#pragma once
#include <cstddef>

#include "frame/handle.h"

// The exit code of a quiet run, as deployment tools know them from Windows
// Installer; without /quiet the program always ends with 0.
enum ExitCode : unsigned {
    kExitUninstalled = 0,
    kExitBadCommandLine = 87,
    kExitFailed = 1603,      // any other refusal, or a failure on the way
    kExitRestartNeeded = 3010, // uninstalled; a driver file goes at the next restart
    kExitNotInstalled = 1605,
    kExitAlreadyRunning = 1618,  // another removal runs: try again later
};
extern unsigned gExitCode;

// True only in the copy in the temporary directory once everything passed;
// the installed program starts the copy and gets false.
bool CheckInvocation();

// A random number from the system's generator (time and process otherwise).
unsigned SystemRandom();

// Makes a fresh copy directory inside tempDirectory that only SYSTEM and the
// Administrators can open; random() gives its 8 digits, a few tries long.
// Never takes a directory that was there before, nor one put in its place.
// True with its path (no final backslash) in directory, and held open, so
// that nobody can rename or delete it, until held is closed.
bool MakeCopyDirectory(const char* tempDirectory, char* directory, size_t size, unsigned (*random)(),
                       UniqueFile& held);

// In a quiet run's copy: moves the installed program, still running while it
// waits for the copy, out of the program folder into the copy's directory.
// True when it went.
bool MoveWaitingInstallerAside(const char* path);

// In the copy, on every way out: marks its own file, then its directory, for
// deletion at the next restart. Does nothing in the installed program.
void ScheduleCopyRemoval();
