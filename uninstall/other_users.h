// Every user of the machine besides the one the copy runs as: the users
// logged on, the logon screen's (.DEFAULT), the profiles not logged on and
// the default profile that new accounts are copied from.
#pragma once

// Takes the layout out of each one's lists and the chart's shortcut
// "<shortcutName>.lnk" off each one's desktop, one after the other, loading
// a profile that is not logged on for the time it takes. A failure is
// reported for displayName's uninstall, and the next user follows.
void CleanOtherUsers(const char* displayName, const char* shortcutName);

// Unloads HKEY_USERS\<hiveName> as the key itself: the root of a hive loaded
// from a user's file may be a link, which RegUnLoadKey would follow,
// unloading whatever it names or nothing. The registry's result.
long UnloadUserHive(const char* hiveName);
