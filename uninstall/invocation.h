// The command line's check and the hand-over to a copy in the temporary
// directory, which alone may delete the installed program file.
#pragma once

extern char gLayoutKey[260];  // argument word 1, once accepted
extern bool gForce;           // "/force" given as word 2: skip the driver-file comparison

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

// True only in the copy in the temporary directory once everything passed;
// the installed program starts the copy and gets false.
bool CheckInvocation();
// Starts programFile with "programFile" parameters; true when it started.
bool LaunchProgram(const char* programFile, const char* parameters);
