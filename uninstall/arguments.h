// The judgement of the command line's words, and the test that tells the
// copy in the temporary directory from the installed program. Nothing here
// touches Windows, so the rules can be checked natively.
#pragma once

extern bool gForce;  // "/force" given after the key: skip the driver-file comparison

// Why a command line is refused; kArgumentsAccepted when it is not.
enum ArgumentVerdict {
    kArgumentsAccepted,
    kArgumentsMissing,   // not one word, and not the key followed by "/force"
    kKeyLength,          // the key has not exactly 8 characters
    kKeyNotGerman,       // characters 5 to 8 are not "0407"
    kKeyStandard,        // the standard layout 00000407, or with /force any beginning "0"
};

// Judges the argument table; sets gQuiet, gLogPath, gForce and, past the
// word count, gLayoutKey.
ArgumentVerdict ValidateArguments();

// True when modulePath names a file directly inside a copy directory
// ("Uninstall_Quorvex." and 8 hexadecimal digits) directly inside
// tempDirectory (which ends in a backslash). Letter case is not compared.
bool IsCopyPath(const char* modulePath, const char* tempDirectory);
