# Cross build for Windows x64 with Debian's mingw-w64 (posix threads), run under wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QRX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QRX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QRX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QRX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QRX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Release with the C and C++ runtimes linked in: the DLLs and test programs import only system
# DLLs (KERNEL32, msvcrt and the like), so nothing from the compiler has to be installed beside them.
set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# The plug-in DLLs ship without symbols (the runtimes' debug information alone would take 2 MB).
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -s")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -s")

# Test programs run under wine (wine64 itself is not on PATH in Debian), through a launcher that
# starts a program again when wine failed to start it at all (wine-test-run.sh says when).
set(CMAKE_CROSSCOMPILING_EMULATOR /bin/bash ${CMAKE_CURRENT_LIST_DIR}/wine-test-run.sh
    /usr/lib/wine/wine64)
