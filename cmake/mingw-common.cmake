# Shared part of the mingw-w64 toolchain files; ZOLT_MINGW_TRIPLE names the
# target.
set(CMAKE_C_COMPILER ${ZOLT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZOLT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZOLT_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZOLT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Link everything statically: a default build imports libgcc_s and
# libstdc++ DLLs, which Windows would look up beside the executable first
# (a DLL-planting hole).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Cross-built programs run through Wine with a private prefix: a 64-bit
# prefix, which runs 32-bit programs through its 32-bit side (WoW64). That
# side is Wine's 32-bit Linux loader, which the wrapper checks for.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL x86)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --32)
else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
