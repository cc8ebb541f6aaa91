# 32-bit Windows build with MinGW-w64 on Linux, for 32-bit Windows hosts (a
# 32-bit host loads only a 32-bit DLL). Its programs cannot run here: 32-bit
# Wine needs a 32-bit loader that the kernel of these machines will not start.
# So no emulator is set, and test programs are listed when ctest runs rather
# than when they are built.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
