// Finding a running program by its executable's file name.
#pragma once

#include <string>

namespace hv::player {

// True when a running process's executable file name equals exeName,
// ignoring case. Looks at /proc/<pid>/exe, and at /proc/<pid>/comm where the
// executable link cannot be read (other users' processes). False when /proc
// cannot be read.
bool IsProcessRunning(const std::string& exeName);

}  // namespace hv::player
