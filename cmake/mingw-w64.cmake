# Cross-building for 64-bit Windows with mingw-w64 (posix threads variant).
# Every program is linked with libstdc++, libgcc and winpthread built in, so a
# .exe needs nothing beyond what a bare Windows 10/11 x64 has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KEL_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KEL_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KEL_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${KEL_MINGW_PREFIX}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes the static winpthread too (the posix-thread runtime would
# otherwise need libwinpthread-1.dll next to each program).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
# One section per function and datum lets the linker drop what a program
# never refers to. This linker keeps every function that has unwind data
# (.pdata is kept whole), so most of the dropping is left to link-time
# optimisation (the root CMakeLists.txt).
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")

# Tests run under wine on the build machine.
find_program(KEL_WINE NAMES wine64 wine)
if(KEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KEL_WINE})
endif()
