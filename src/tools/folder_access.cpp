#include "tools/folder_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>
#include <string>

namespace parvolin::tools {

FolderAccess accessFolder(const std::filesystem::path& folder, std::string_view command,
                          std::ostream& err) {
  FolderAccess access;
  // pvtool runs take turns through a lock on the folder itself: no file of its own that a
  // clearing delete could remove, and no conflict with the recorder's lock file.
  access.turn = base::FileHandle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (access.turn.isOpen()) {
    int taken = ::flock(access.turn.fd(), LOCK_EX | LOCK_NB);
    if (taken != 0 && errno == EWOULDBLOCK) {
      err << "pvtool " << command << ": waiting for another pvtool command on " << folder.string()
          << '\n';
      do {
        taken = ::flock(access.turn.fd(), LOCK_EX);
      } while (taken != 0 && errno == EINTR);
    }
  }
  base::FolderClaim claim = base::claimFolder(folder, "pvtool " + std::string(command));
  if (claim.refused()) {
    std::string why;
    access.recorder = control::connectToRecorder(folder, why);
    if (!access.recorder) {
      err << "pvtool " << command << ": " << claim.message << '\n';
      return access;
    }
  } else {
    if (!claim.message.empty()) err << "pvtool " << command << ": " << claim.message << '\n';
    access.lock = std::move(*claim.lock);
  }
  access.usable = true;
  return access;
}

}  // namespace parvolin::tools
