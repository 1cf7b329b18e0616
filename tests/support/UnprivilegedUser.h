#pragma once

#include <QString>

#include <functional>
#include <sys/types.h>

// The tests run as root, as a rescue or scheduled scan does; the attacks on
// the scanned tree are taken as the user who owns a folder inside it would
// take them: by another user, nobody (65534), without any right of root.
constexpr uid_t kUnprivilegedUser = 65534;
constexpr gid_t kUnprivilegedGroup = 65534;

// Gives path (and, for a folder, everything below it) to that user.
void giveToUnprivilegedUser(const QString &path);
// Lets every user pass through the folders from path up to the root, as the
// folders of a home tree let them; a temporary folder is private otherwise.
void openPathToEveryone(const QString &path);

// Runs steps in a child process that has dropped to the unprivileged user
// and group for good; true when it got there and steps returned true.  The
// steps run in a forked copy of this process, so they make system calls
// only (their paths prepared beforehand).
bool asUnprivilegedUser(const std::function<bool()> &steps);
