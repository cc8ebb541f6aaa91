#include <pthread.h>

#include <cstring>
#include <new>

#include "platform/platform.h"

namespace platform {

std::string systemErrorText(int code) {
  char buf[256];
  buf[0] = '\0';
  // The XSI and GNU variants differ in their result; copy whichever we got.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  const char* text = strerror_r(code, buf, sizeof buf);
#else
  const char* text = strerror_r(code, buf, sizeof buf) == 0 ? buf : "Unknown error";
#endif
  return std::string(text) + "\n";
}

void* mutexCreate() {
  auto* mutex = new (std::nothrow) pthread_mutex_t;
  if (mutex == nullptr) return nullptr;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  // Error checking makes an unlock by a thread that does not hold the mutex a
  // reported failure, as a Windows mutex does, instead of undefined behaviour.
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
  int rc = pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    delete mutex;
    return nullptr;
  }
  return mutex;
}

void mutexDestroy(void* handle) {
  if (handle == nullptr) return;
  auto* mutex = static_cast<pthread_mutex_t*>(handle);
  pthread_mutex_destroy(mutex);
  delete mutex;
}

bool mutexLock(void* handle, std::string* errorText) {
  int rc = pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle));
  if (rc != 0 && errorText) *errorText = systemErrorText(rc);
  return rc == 0;
}

bool mutexUnlock(void* handle, std::string* errorText) {
  int rc = pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle));
  if (rc != 0 && errorText) *errorText = systemErrorText(rc);
  return rc == 0;
}

}  // namespace platform
