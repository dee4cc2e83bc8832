# The win32 thread model: its C++ runtime sits on Windows' own threads and
# locks, where the posix model's needs winpthread, about 26 KB of kiln.exe.
# Its price is that gcc 12 then has no std::thread or std::mutex; the product
# never needed them, and the Windows test programs use tests/common/threads_win.h.
set(CMAKE_C_COMPILER ${KILN_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${KILN_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${KILN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KILN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
