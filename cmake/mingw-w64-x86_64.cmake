# Cross-builds the Windows executable with Debian's mingw-w64. The posix
# thread model is the one whose libstdc++ has std::mutex and std::thread.
# Dependencies come from the staging prefix TARSEL_WINDOWS_DEPS (see
# scripts/build-windows); the build machine's own libraries and CMake packages,
# which point into /usr/include, are never searched.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARSEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARSEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARSEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARSEL_MINGW_TRIPLE}-windres)

set(TARSEL_WINDOWS_DEPS "" CACHE PATH "Prefix holding the cross-built libuv, spdlog, fmt and GoogleTest")
set(CMAKE_FIND_ROOT_PATH /usr/${TARSEL_MINGW_TRIPLE} ${TARSEL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: the compiler's runtime and libstdc++ linked in,
# so that it imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test executables run through Wine when CTest runs them on Linux.
find_program(TARSEL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TARSEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARSEL_WINE})
endif()
