# Cross-compiling the Windows programs with Debian's mingw-w64 (the posix thread model, for
# std::thread and std::mutex). Programs and tests run under Wine through the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(UPWEND_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${UPWEND_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPWEND_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${UPWEND_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${UPWEND_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine through cmake/wine-run, which keeps the build's own Wine
# prefix (Debian's wine64 package has no "wine" on PATH; the script finds wine64).
if(EXISTS /usr/lib/wine/wine64 OR EXISTS /usr/bin/wine64 OR EXISTS /usr/bin/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()

# The runtime DLLs of the compiler are not on a Windows machine (nor in Wine's search path):
# every program and library links them in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
