# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which gives
# std::thread and std::mutex). Tests run under Wine through tests/windows/wine_run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_orq_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_orq_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_orq_triple}-g++-posix)
set(CMAKE_ASM_COMPILER ${_orq_triple}-gcc-posix)
set(CMAKE_RC_COMPILER ${_orq_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_orq_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program is linked statically (the C++ runtime and winpthread included), so that a
# program runs from the build folder, under Wine or on Windows, without MinGW's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_run.sh)
