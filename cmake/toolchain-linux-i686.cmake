# 32-bit Linux build on a 64-bit Debian host with gcc-multilib/g++-multilib.
# Pointers and words are 4 bytes here, as in the shipping Windows build, so the
# host records have their shipping sizes; the test programs still run natively.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# -msse2 -mfpmath=sse: doubles are computed in SSE2 registers rather than the
# x87 unit's 80-bit ones, so comparisons against small bounds behave exactly
# as in the 64-bit build.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Never pick up a 64-bit library by accident.
set(FIND_LIBRARY_USE_LIB64_PATHS OFF)
set_property(GLOBAL PROPERTY FIND_LIBRARY_USE_LIB64_PATHS OFF)
