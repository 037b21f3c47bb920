# Cross build for 32-bit Windows with Debian's mingw-w64 i686 toolchain: the
# product.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Tests and tools run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
