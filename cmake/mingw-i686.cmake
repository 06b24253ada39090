# Cross-compiles for 32-bit Windows with Debian's mingw-w64 toolchain.
#
# The posix-thread compilers are used: the win32-thread ones lack std::mutex.
# Programs built here run under Wine (CMAKE_CROSSCOMPILING_EMULATOR), which
# scripts/wine-env.sh prepares; ICU comes from scripts/build-icu-windows.sh
# through ICU_ROOT.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(GW_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${GW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GW_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${GW_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${GW_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(GW_OBJDUMP ${GW_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump that reads the Windows images")

set(CMAKE_FIND_ROOT_PATH /usr/${GW_MINGW_TRIPLE})
# The cross-built ICU lies outside the toolchain's root.
if(ICU_ROOT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ICU_ROOT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs and the command line run under Wine.
find_program(GW_WINE wine)
if(GW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GW_WINE})
endif()
