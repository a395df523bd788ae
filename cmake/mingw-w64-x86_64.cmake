# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix
# threads variant, whose libstdc++ has std::thread and std::mutex), and
# running what is built through wine, so that gtest_discover_tests and ctest
# work in the cross build:
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Libraries are looked for among the target's, never the host's: a package
# built for the target elsewhere is given by its <Package>_DIR (GTest_DIR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(tolvane_mingw_triplet x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${tolvane_mingw_triplet}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${tolvane_mingw_triplet}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${tolvane_mingw_triplet}-windres REQUIRED)

# The target's libraries and headers.
set(CMAKE_FIND_ROOT_PATH /usr/${tolvane_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked into each executable, so that it
# runs under wine (or on Windows) without their DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test discovery and ctest run the executables through wine. WINEDEBUG and
# WINEPREFIX come from the caller's environment (tools/windows-test sets them).
find_program(tolvane_wine NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(tolvane_wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${tolvane_wine})
endif()
