# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix) and runs the results,
# tests included, under Wine (wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingwTriple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingwTriple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingwTriple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingwTriple}-windres)

# Libraries and packages come from the MinGW tree only, never from the build machine's /usr/lib.
set(CMAKE_FIND_ROOT_PATH /usr/${mingwTriple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The header-only libraries that Debian installs for the build machine (CLI11, nlohmann-json) serve any target.
# /usr/include is searched after MinGW's own headers, so the C library's and the system's headers stay MinGW's,
# and their CMake packages are taken from /usr/share/cmake with /usr/include treated as a system folder, which keeps
# it off the command line as -isystem (that would put the build machine's C headers first).
set(CMAKE_C_FLAGS_INIT "-idirafter /usr/include")
set(CMAKE_CXX_FLAGS_INIT "-idirafter /usr/include")
set(CMAKE_C_IMPLICIT_INCLUDE_DIRECTORIES /usr/include)
set(CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES /usr/include)
foreach(headerOnly CLI11 nlohmann_json)
  if(EXISTS /usr/share/cmake/${headerOnly})
    set(${headerOnly}_DIR /usr/share/cmake/${headerOnly} CACHE PATH "Header-only package from the build machine")
  endif()
endforeach()

# Qt for Windows, as packaging/windows/build-qt.sh builds it into a cache outside the clone (the script names the
# folder; VANTOREL_QT_PREFIX overrides it). It is found through the find root, and its build tools (moc, rcc, uic)
# are the build machine's Qt of the same version.
if(NOT VANTOREL_QT_PREFIX)
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/build-qt.sh --print-prefix
    OUTPUT_VARIABLE VANTOREL_QT_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOREL_QT_PREFIX)
if(VANTOREL_QT_PREFIX AND EXISTS ${VANTOREL_QT_PREFIX}/.complete)
  list(APPEND CMAKE_FIND_ROOT_PATH ${VANTOREL_QT_PREFIX})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# Runs the Windows programs that the build or the tests start: test discovery, the tests themselves and the
# command-line tool's runs.
find_program(VANTOREL_WINE NAMES wine wine64 wine-stable PATHS /usr/lib/wine)
if(VANTOREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTOREL_WINE})
endif()
