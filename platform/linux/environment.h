// Where the Linux build takes a place to read or write from its environment.
// A process started with raised rights (set-user-ID, set-group-ID, file
// capabilities) inherits the environment of whoever started it, so then no
// variable may choose such a place: the caller would choose what the
// privileged process reads, and where it writes.
#pragma once

#include <string>

namespace povupdate::backend {

// True in the kernel's secure-execution mode, which raised rights bring.
bool RaisedRights();

// The value of a variable that names a place: null when it is unset or
// empty, and always under raised rights.
const char* PlaceSetting(const char* name);

// A base directory of the XDG rules: `variable` ("XDG_CONFIG_HOME") when it
// is an absolute path, else the home directory followed by `below_home`
// ("/.config"). The home is $HOME, else the user's entry in the password
// database; under raised rights the effective user's entry alone. False
// when there is no home.
bool BaseDirectory(const char* variable, const char* below_home, std::string& directory);

#ifdef POVUPDATE_FAULT_INJECTION
// Test seam: true makes the process count as one with raised rights; false
// leaves the decision to the kernel again.
void AssumeRaisedRights(bool raised) noexcept;
#endif

}  // namespace povupdate::backend
