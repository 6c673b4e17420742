# The shipping DLL's toolchain: the i686 MinGW cross build of
# toolchain-mingw-i686.cmake with the compilers of the -win32 thread model
# (Debian's g++-mingw-w64-i686-win32). Its runtime uses Windows threads
# directly, so no pthread emulation is linked in; its C++ library has no
# std::mutex, which the module does not use.
set(EP_MINGW_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)
