// What the system's sockets and the in-memory ones share on POSIX: errors
// arrive in errno, and there is no socket library to start.
#include <cerrno>

#include "platform/socket.h"

namespace platform {

bool socketLibraryStart() {
  return true;
}
bool socketLibraryEnd() {
  return true;
}

int lastSocketError() {
  return errno;
}
int lastErrno() {
  return errno;
}

bool isTransientErrno(int code) {
  return code == EINTR || code == EAGAIN;
}

}  // namespace platform
