# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix-threads compilers, whose
# C++ library has std::thread). The libraries the build looks for (SDL2, libxmp, libpng, zlib)
# come from the folder in CMAKE_FIND_ROOT_PATH (scripts/windows_deps.sh prints it); pkg-config
# reads only their .pc files there.
#
# The C and C++ runtimes (libgcc, libstdc++, winpthreads) are linked into every program and DLL,
# so that what is built starts on a Windows machine with nothing else installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRELK_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${TRELK_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TRELK_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TRELK_MINGW_TRIPLE}-windres REQUIRED)
find_program(CMAKE_DLLTOOL NAMES ${TRELK_MINGW_TRIPLE}-dlltool REQUIRED)
find_program(CMAKE_NM NAMES ${TRELK_MINGW_TRIPLE}-nm REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${TRELK_MINGW_TRIPLE}-objdump REQUIRED)

# Without a link time in the files' headers: two builds of the same sources give the same bytes
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# Headers and libraries from the target's folders only; programs (generators, pkg-config) from
# the machine that builds
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TRELK_MINGW_TRIPLE})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config: only the .pc files of the target's libraries. Not from the test projects CMake
# builds while configuring: they see no CMAKE_FIND_ROOT_PATH, and share this process's environment.
get_property(trelk_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(trelk_in_try_compile)
  return()
endif()
set(ENV{PKG_CONFIG_PATH} "")
set(trelk_pc_dirs)
foreach(root ${CMAKE_FIND_ROOT_PATH})
  list(APPEND trelk_pc_dirs ${root}/lib/pkgconfig ${root}/share/pkgconfig)
endforeach()
string(REPLACE ";" ":" trelk_pc_dirs "${trelk_pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${trelk_pc_dirs}")
