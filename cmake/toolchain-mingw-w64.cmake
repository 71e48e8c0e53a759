# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX thread model, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A DLL must not drag in the compiler's runtime DLLs that a Windows machine does not have.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Test programs run under Wine, against the system libraries Wine provides.
find_program(VEL_WINE NAMES wine wine64)
if(VEL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEL_WINE})
endif()
