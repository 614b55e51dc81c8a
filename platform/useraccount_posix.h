#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace sondrel {

// A user of the machine, as the passwd entry gives it.
struct UserAccount
{
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
    std::string home; // without a trailing separator (except "/")
};

// The user who started this process through sudo: when the process runs as root,
// SUDO_UID and SUDO_GID (the passwd entry's group when SUDO_GID is unset), with the name
// and home folder of that uid's passwd entry. Nothing when the process is not root, was
// not started through sudo by another user, or the uid has no passwd entry.
std::optional<UserAccount> sudoInvoker();
// The same, from the given effective uid and values of SUDO_UID and SUDO_GID (null when
// unset).
std::optional<UserAccount> sudoInvoker(uid_t effectiveUid, const char *sudoUid,
                                       const char *sudoGid);

// Gives the calling process up to `account` for good: the account's groups (initgroups),
// then its group (setgid), then its user (setuid); afterwards root cannot be taken back.
// A process that already runs as the account changes nothing. Returns 0, or the error
// number of the step that failed. Meant for a child process between fork and its end.
int dropTo(const UserAccount &account);

// Runs `work` in a child process that has given itself up to `account`, waits for it and
// returns the text `work` returned. A PlatformError raised by `work`, or a failed drop,
// is raised here with its number and description. Nothing `work` does reaches this
// process other than through the file system.
std::string runAs(const UserAccount &account, const std::function<std::string()> &work);

// The environment ("NAME=value" entries) for a program started for `account` from a
// process running under sudo: `inherited` with HOME, USER and LOGNAME set for the account,
// XDG_RUNTIME_DIR set to /run/user/<uid>, DBUS_SESSION_BUS_ADDRESS set to that folder's
// "bus" when `busExists` (removed otherwise) and sudo's own SUDO_* entries removed.
// DISPLAY, XAUTHORITY, WAYLAND_DISPLAY and the rest stay as inherited.
std::vector<std::string> sessionEnvironment(const UserAccount &account,
                                            const std::vector<std::string> &inherited,
                                            bool busExists);

// The user's session folder, /run/user/<uid>.
std::string runtimeFolder(const UserAccount &account);

} // namespace sondrel
