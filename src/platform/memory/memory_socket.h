// What the in-memory socket layer adds to platform/socket.h for the
// programs linked with it (fuzz targets, its own tests). A program chooses
// it at link time: CMake's target property MOTIONSTAR_SOCKETS set to
// "memory" (src/platform/CMakeLists.txt).
#ifndef MOTIONSTAR_PLATFORM_MEMORY_MEMORY_SOCKET_H
#define MOTIONSTAR_PLATFORM_MEMORY_MEMORY_SOCKET_H

#include <cstddef>

namespace platform {
namespace memory {

// Sockets opened and not yet closed, so a caller can see that it left none.
size_t openSocketCount();

}  // namespace memory
}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_MEMORY_MEMORY_SOCKET_H
