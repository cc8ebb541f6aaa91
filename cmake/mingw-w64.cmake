# 64-bit Windows build with MinGW-w64 on Linux; programs and tests run under
# Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Wine runs the test programs, with its own prefix inside the build folder,
# no debug chatter and no display.
set(WINE_BINARY /usr/lib/wine/wine64)
set(WINESERVER_BINARY /usr/lib/wine/wineserver)
if(NOT DEFINED MS_WINEPREFIX)
  set(MS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
endif()
set(MS_WINE_ENV WINEDEBUG=-all WINEPREFIX=${MS_WINEPREFIX} DISPLAY=)
set(CMAKE_CROSSCOMPILING_EMULATOR env ${MS_WINE_ENV} ${WINE_BINARY})
