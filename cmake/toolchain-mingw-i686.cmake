# Cross build for 32-bit Windows with Debian's i686 MinGW-w64 compilers.
# Everything is linked statically, so the DLL and the test programs need no
# MinGW runtime DLL beside them, and the test programs run under Wine through
# CMake's cross-compiling emulator.
#
# Thread model: this file gives the compilers of the -posix variant, whose C++
# library has std::mutex and std::condition_variable; GoogleTest needs both
# on Windows. The shipping DLL is linked by the -win32 variant instead
# (toolchain-mingw-i686-win32.cmake, in a nested build; see the top
# CMakeLists.txt), which brings no pthread emulation along.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(EP_MINGW_TRIPLE i686-w64-mingw32)
if(NOT EP_MINGW_THREAD_MODEL)
  set(EP_MINGW_THREAD_MODEL posix)
endif()
set(CMAKE_C_COMPILER ${EP_MINGW_TRIPLE}-gcc-${EP_MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${EP_MINGW_TRIPLE}-g++-${EP_MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER ${EP_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${EP_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump for the target")

set(CMAKE_FIND_ROOT_PATH /usr/${EP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Doubles are computed in SSE2 registers, never in the x87 unit's 80-bit ones,
# so comparisons against small bounds behave as in the 64-bit build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

set(EP_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${EP_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${EP_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${EP_STATIC_RUNTIME}")
# A release DLL ships without the symbol and debug sections that the static
# runtime libraries bring along.
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test programs (and GoogleTest's test discovery) run under Wine, through a
# wrapper that keeps a private, headless Wine prefix inside the build tree.
get_filename_component(EP_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${EP_SOURCE_ROOT}/scripts/wine-run.sh;--prefix=${CMAKE_BINARY_DIR}/wine")
