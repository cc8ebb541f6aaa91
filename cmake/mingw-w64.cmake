# 64-bit Windows build with MinGW-w64 on Linux; programs and tests run under
# Wine. The -posix compilers carry std::thread (the -win32 ones lack it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)
# M_PI and the other math constants, as glibc offers them.
set(CMAKE_C_FLAGS_INIT -D_USE_MATH_DEFINES)
set(CMAKE_CXX_FLAGS_INIT -D_USE_MATH_DEFINES)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread are linked in, so the module imports
# only system DLLs (KERNEL32, msvcrt, WS2_32) and the tests run without any
# MinGW DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

find_program(MINGW_OBJDUMP ${MINGW_PREFIX}-objdump)

# Wine runs the test programs, with its own prefix inside the build folder,
# no debug chatter and no display.
set(WINE_BINARY /usr/lib/wine/wine64)
set(WINESERVER_BINARY /usr/lib/wine/wineserver)
if(NOT DEFINED MS_WINEPREFIX)
  set(MS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
endif()
set(MS_WINE_ENV WINEDEBUG=-all WINEPREFIX=${MS_WINEPREFIX} DISPLAY=)
set(CMAKE_CROSSCOMPILING_EMULATOR env ${MS_WINE_ENV} ${WINE_BINARY})
