# Cross build of the Windows x86-64 program with Debian's mingw-w64 (the
# posix-threads flavour, package g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OBRELIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OBRELIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OBRELIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OBRELIX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OBRELIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GoogleTest is not built for this target: the Windows decisions are tested
# natively against a fake, and the program end to end under Wine.
set(BUILD_TESTING OFF CACHE BOOL "Build the tests (not available for the cross build)")
