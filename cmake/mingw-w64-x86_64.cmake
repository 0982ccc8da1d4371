# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers. The -posix variants are the
# ones whose libstdc++ has std::thread and std::mutex, which Qt and Brellis use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

# The Windows SDK built by scripts/windows-sdk (Qt, QCustomPlot, libmosquitto, OpenSSL,
# libxlsxwriter, GoogleTest) is searched beside MinGW's own headers and libraries; nothing of
# the Linux system is.
# Where scripts/windows-sdk puts it unless BRELLIS_WINDOWS_SDK says otherwise (the versions in
# the name are the script's).
if(NOT BRELLIS_WINDOWS_SDK)
  if(DEFINED ENV{BRELLIS_WINDOWS_SDK})
    set(BRELLIS_WINDOWS_SDK $ENV{BRELLIS_WINDOWS_SDK})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(BRELLIS_WINDOWS_SDK $ENV{XDG_CACHE_HOME}/brellis/windows-sdk-qt6.4.2-gcc12)
  else()
    set(BRELLIS_WINDOWS_SDK $ENV{HOME}/.cache/brellis/windows-sdk-qt6.4.2-gcc12)
  endif()
endif()
set(BRELLIS_WINDOWS_SDK ${BRELLIS_WINDOWS_SDK} CACHE PATH "The Windows SDK of scripts/windows-sdk")
set(CMAKE_FIND_ROOT_PATH ${BRELLIS_WINDOWS_SDK} /usr/${mingw_triplet})
list(APPEND CMAKE_PREFIX_PATH ${BRELLIS_WINDOWS_SDK})
# pkg-config (libmosquitto, libxlsxwriter) reads the SDK's .pc files, never the Linux ones.
set(ENV{PKG_CONFIG_LIBDIR} ${BRELLIS_WINDOWS_SDK}/lib/pkgconfig:/usr/${mingw_triplet}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# Try-compile projects see the same SDK.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRELLIS_WINDOWS_SDK)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
