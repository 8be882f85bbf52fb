# Cross-compile for 64-bit Windows with mingw-w64. The -posix variant is
# required: the -win32 threading model's libstdc++ lacks std::mutex, which
# GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZOLT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
