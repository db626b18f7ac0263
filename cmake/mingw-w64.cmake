# Cross-builds the game for 64-bit Windows with Debian's mingw-w64 (posix threads: the
# win32 model has no std::thread or std::mutex). BRELVO_WINDOWS_PREFIX names the folder
# where tools/windows.sh installed SDL, SDL_mixer, libogg and libvorbis built for Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRELVO_WINDOWS_PREFIX)
if(NOT BRELVO_WINDOWS_PREFIX AND DEFINED ENV{BRELVO_WINDOWS_PREFIX})
    set(BRELVO_WINDOWS_PREFIX $ENV{BRELVO_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${BRELVO_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the Windows libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${BRELVO_WINDOWS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Windows programs run under wine, in a wine prefix of this build's own, quietly, and
# without the offer to install wine's .NET and HTML engines.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= wine)
