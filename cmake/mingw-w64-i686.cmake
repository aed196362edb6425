# Cross-building for 32-bit Windows with Debian's mingw-w64 (posix threads,
# so that std::thread and std::mutex work):
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# Programs are linked statically: the exe needs no DLL of the compiler's
# runtime beside it. Tests run under $ZORLOAD_WINE (default wine) when CTest
# starts them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ZOR_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZOR_MINGW_PREFIX}-windres)
set(CMAKE_AR ${ZOR_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZOR_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ZOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 and later; no min/max macros from <windows.h> over std::min.
add_compile_definitions(_WIN32_WINNT=0x0601 NOMINMAX)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(DEFINED ENV{ZORLOAD_WINE})
  set(CMAKE_CROSSCOMPILING_EMULATOR $ENV{ZORLOAD_WINE})
else()
  find_program(ZOR_WINE wine)
  if(ZOR_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZOR_WINE})
  endif()
endif()
