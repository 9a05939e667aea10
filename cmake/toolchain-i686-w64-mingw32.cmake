# Cross build of the 32-bit Windows DLLs with the i686 mingw-w64 toolchain (Debian package
# g++-mingw-w64-i686). The posix thread model gives the test programs std::mutex; the DLLs
# use no threads and link no C runtime at all, so the model makes no difference to them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MPX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${MPX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MPX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MPX_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${MPX_MINGW_PREFIX}-dlltool)
set(CMAKE_OBJDUMP ${MPX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${MPX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The era of the hosts: Windows 2000, so the headers declare nothing newer.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0500 -DWINVER=0x0500")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0500 -DWINVER=0x0500")
