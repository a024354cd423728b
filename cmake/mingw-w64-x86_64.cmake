# Cross-build for 64-bit Windows with Debian's mingw-w64 (the posix thread flavour, which has
# std::thread). The C and C++ runtimes are linked in, so the programs run without extra DLLs.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SK_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${SK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows 7 and later: the API level the backend calls at most.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# Programs the build runs itself (test discovery) go through Wine.
find_program(SK_WINE NAMES wine wine64)
if(SK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SK_WINE})
endif()
