#include <windows.h>

#include "platform/platform.h"

namespace platform {

std::string systemErrorText(int code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result;
  if (length > 0 && text != nullptr) {
    result.assign(text, length);
  } else {
    // A code without a text in the message table still names itself, as
    // strerror does.
    result = "Unknown error " + std::to_string(code);
  }
  if (text != nullptr) LocalFree(text);
  // The system's texts carry their own line end; one that lacks it still
  // ends the line.
  if (result.empty() || result.back() != '\n') result += "\r\n";
  return result;
}

void* mutexCreate() {
  return CreateMutexA(nullptr, FALSE, nullptr);
}

void mutexDestroy(void* handle) {
  if (handle != nullptr) CloseHandle(handle);
}

bool mutexLock(void* handle, std::string* errorText) {
  const DWORD result = WaitForSingleObject(handle, INFINITE);
  if (result == WAIT_OBJECT_0) return true;
  // A wait that ends on an abandoned mutex sets no last error: a stale one
  // would name an unrelated failure, or read as success. Its own text is the
  // one for a previous owner that died without releasing.
  const DWORD code = result == WAIT_ABANDONED ? ERROR_SEM_OWNER_DIED : GetLastError();
  if (errorText) *errorText = systemErrorText(static_cast<int>(code));
  return false;
}

bool mutexUnlock(void* handle, std::string* errorText) {
  if (ReleaseMutex(handle)) return true;
  const DWORD code = GetLastError();
  if (errorText) *errorText = systemErrorText(static_cast<int>(code));
  return false;
}

}  // namespace platform
