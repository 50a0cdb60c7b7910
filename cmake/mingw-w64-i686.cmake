# Cross-build for 32-bit Windows with MinGW-w64 (POSIX threads model): the x86 build that CI
# compiles and whose window-less tests it runs (scripts/test-x86). Nothing of it is shipped.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
# Under 32-bit Wine (Debian's wine32, in a win32 prefix): wine, never wine64.
set(PICLADE_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
