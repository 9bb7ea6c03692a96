# Cross toolchain: 32-bit Windows (i686) through Debian's MinGW-w64, posix thread model.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
