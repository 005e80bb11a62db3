# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain.
#   cmake -S . -B build-win/project -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake
# scripts/windows/build.sh does this after it has built the libraries below.
#
# The posix-thread compilers are used because the win32-thread ones lack std::mutex and friends, which glbinding
# needs. Everything is linked statically, the C and C++ runtimes and winpthread included, so that the products load
# with nothing but Windows' own DLLs beside them.
#
# Libraries are searched only in the MinGW sysroot (zlib is there) and in the folder of Windows libraries that the
# scripts build (SOLVANE_WINDOWS_DEPS, default build-win/deps: glbinding, libpng, GoogleTest): the build host's own
# glbinding, libpng and GoogleTest are Linux libraries and must never be picked up.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(SOLVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SOLVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SOLVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SOLVANE_MINGW_TRIPLE}-windres)

# No runtime DLL next to the products: without -static the posix-thread runtime pulls in libwinpthread-1.dll.
set(SOLVANE_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${SOLVANE_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${SOLVANE_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${SOLVANE_STATIC_RUNTIME}")

# The Windows libraries built by scripts/windows: one install prefix per library under this folder.
if(NOT SOLVANE_WINDOWS_DEPS)
  if(DEFINED ENV{SOLVANE_WINDOWS_DEPS})
    set(SOLVANE_WINDOWS_DEPS "$ENV{SOLVANE_WINDOWS_DEPS}")
  else()
    get_filename_component(SOLVANE_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-win/deps" ABSOLUTE)
  endif()
endif()
# try_compile projects read this file again and need the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SOLVANE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${SOLVANE_MINGW_TRIPLE} "${SOLVANE_WINDOWS_DEPS}")
foreach(prefix glbinding libpng googletest)
  list(APPEND CMAKE_PREFIX_PATH "${SOLVANE_WINDOWS_DEPS}/${prefix}")
endforeach()
list(REMOVE_DUPLICATES CMAKE_PREFIX_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib comes from Debian's libz-mingw-w64-dev, which has both libz.a and the DLL's import library: take the static one.
set(ZLIB_USE_STATIC_LIBS ON)

# Test programs are run, and GoogleTest cases listed, through Wine.
get_filename_component(SOLVANE_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${SOLVANE_WINE_RUN}")
