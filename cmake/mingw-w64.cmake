# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
# FAQ_WINDOWS_PREFIX: where the cross-built sqlite3 and libxlsxwriter are installed;
# FAQ_WINDOWS_QT: Qt for Windows (scripts/windows-qt).
# FAQ_WINDOWS_SHARED_RUNTIME: link the MinGW runtime as DLLs, as Qt's DLLs do.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${FAQ_WINDOWS_PREFIX} ${FAQ_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Without Qt: self-contained programs, no MinGW runtime DLLs to find under Wine. With Qt's
# DLLs: one C++ runtime for all, the DLLs shipped beside the program.
if(NOT FAQ_WINDOWS_SHARED_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
