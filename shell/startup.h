// The checks before the player starts: not from a CD-ROM, one player per title, "/config".
#pragma once
#include <string>
#include <vector>

#include "platform/host.h"

namespace kest {

// The name of the one-player-per-title lock: the title folder (the first argument, else
// the executable's folder) made absolute, upper-cased, with a separator at the end, every
// "/" and "\" replaced by "-".
std::string InstanceName(const std::vector<std::string>& titles, const std::string& exePath);

enum class TEntryResult {
  Run,
  Quit,    // end at once, silently: started from a CD-ROM, or the title runs already
  Config,  // the settings dialog was asked for
};

// Runs the checks in order; a Run answer holds the lock in host.instanceLock. A lock
// that cannot be made at all does not stop the player (*note says so).
TEntryResult EntryChecks(THost& host, const std::vector<std::string>& titles, const std::string& exePath,
                         std::string* note);

}  // namespace kest
