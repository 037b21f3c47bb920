# Cross build for 64-bit Windows. Used only to run the Win32 tests under
# wine64 on hosts whose kernel cannot execute 32-bit programs; the product is
# the i686 build (cmake/mingw-i686.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
