# Clang for 64-bit Windows, against MinGW-w64's headers and the libstdc++ of the GCC that builds
# the program: a second compiler's warnings (scripts/check-clang), nothing linked, run or shipped.
# Clang's own guess would take the build machine's /usr/include, so every folder is named here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
# The compilers are tried without a link.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(sysroot /usr/${TOOLCHAIN_PREFIX})
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-g++-posix -print-file-name=include/c++
                OUTPUT_VARIABLE cxx_headers OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(CMAKE_C_FLAGS_INIT "--sysroot=${sysroot} -nostdlibinc -isystem ${sysroot}/include")
set(CMAKE_CXX_FLAGS_INIT "--sysroot=${sysroot} -nostdlibinc -isystem ${cxx_headers} -isystem ${cxx_headers}/${TOOLCHAIN_PREFIX} -isystem ${cxx_headers}/backward -isystem ${sysroot}/include")

set(CMAKE_FIND_ROOT_PATH ${sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
