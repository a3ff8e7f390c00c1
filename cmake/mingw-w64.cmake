# Cross-compiling the Windows program on Linux with mingw-w64 (x86_64, the
# POSIX thread model so std::thread and std::mutex work). The built programs
# run here under Wine through scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(STAVRION_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${STAVRION_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STAVRION_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${STAVRION_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${STAVRION_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable links the compiler runtime and winpthread statically, so
# the .exe needs no DLL beside the system's own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

get_filename_component(STAVRION_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${STAVRION_SOURCE_ROOT}/scripts/wine-run.sh")
