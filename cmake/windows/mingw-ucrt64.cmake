# Cross-compiles for 64-bit Windows with the mingw-w64 UCRT toolchain; test
# programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TORVANE_TOOL_PREFIX x86_64-w64-mingw32ucrt-)
set(CMAKE_C_COMPILER ${TORVANE_TOOL_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${TORVANE_TOOL_PREFIX}g++)
set(CMAKE_RC_COMPILER ${TORVANE_TOOL_PREFIX}windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32ucrt)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# libgcc, libstdc++ and winpthread go inside each binary: the module must need
# nothing beside itself but Windows and OBS.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
