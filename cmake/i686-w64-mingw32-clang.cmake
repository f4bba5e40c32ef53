# Second toolchain: clang 14 and lld for the same target, over the mingw-w64
# headers and libraries (C runtime, libstdc++, libgcc) of the gcc cross toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MENUPATCH_MINGW_ROOT /usr/i686-w64-mingw32)
# Whichever gcc version the cross toolchain has: ask it where its libgcc lies.
execute_process(COMMAND i686-w64-mingw32-g++-win32 -print-libgcc-file-name
                OUTPUT_VARIABLE MENUPATCH_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(MENUPATCH_GCC_LIBS "${MENUPATCH_LIBGCC}" DIRECTORY)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_SYSROOT ${MENUPATCH_MINGW_ROOT})
set(CMAKE_CXX_FLAGS_INIT "-isystem ${MENUPATCH_GCC_LIBS}/include/c++ -isystem ${MENUPATCH_GCC_LIBS}/include/c++/i686-w64-mingw32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MENUPATCH_GCC_LIBS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MENUPATCH_GCC_LIBS}")
set(CMAKE_FIND_ROOT_PATH ${MENUPATCH_MINGW_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
