// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The temporary folder of the user running the program: where the library writes its trace,
// Pellix.log, and where the console's support window finds it. The system this console comes
// from gives every user a temporary folder of their own; here that is TMPDIR when it is set (the
// user's own choice), else a folder of this user's own in the system's (/tmp/pellix-<uid>): a
// file in a folder that every user shares belongs to whoever made it first, and the next user
// would get no trace at all.
class TempFolder
{
public:
    // The folder, without a trailing separator.
    static QString path();
    // True when the folder is this user's own one (no TMPDIR), which prepare() makes and checks.
    static bool ownFolder();
    // Makes the user's own folder when it is missing, owner-only, and checks that it is one: a
    // folder (not a link to one) of this user, closed to others (made so when it was not).
    // Empty when the folder can be used (TMPDIR is taken as it is), else why not.
    static QString prepare();
};
