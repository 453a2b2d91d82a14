# Cross-building for 64-bit Windows with MinGW-w64 (posix thread model, which
# std::thread and Qt need). Libraries, headers and packages come only from the
# folders in CMAKE_FIND_ROOT_PATH (the Windows dependency cache); programs
# (moc, rcc, the host Qt tools) come from the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_AR ${_mingw}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_mingw}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${_mingw}-strip CACHE FILEPATH "")

# The dependency cache (Qt, sqlite3, googletest built for MinGW).
if(DEFINED ENV{VELMORA_WINDOWS_DEPS})
  set(VELMORA_WINDOWS_DEPS "$ENV{VELMORA_WINDOWS_DEPS}" CACHE PATH "Windows dependency cache")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${_mingw})
if(VELMORA_WINDOWS_DEPS)
  foreach(_part qt-mingw mingw-deps header-only)
    list(APPEND CMAKE_FIND_ROOT_PATH ${VELMORA_WINDOWS_DEPS}/${_part})
    list(APPEND CMAKE_PREFIX_PATH ${VELMORA_WINDOWS_DEPS}/${_part})
  endforeach()
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt's build tools run on the build machine: the Debian Qt of the same version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
