# Shared part of the two Windows toolchains; the including file sets CMAKE_SYSTEM_PROCESSOR.
# mingw-w64 with the posix thread model, everything linked statically so that no mingw DLL is
# needed at run time.
set(CMAKE_SYSTEM_NAME Windows)
set(QEVRIN_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER   ${QEVRIN_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEVRIN_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${QEVRIN_TRIPLET}-windres)
set(CMAKE_AR           ${QEVRIN_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       ${QEVRIN_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QEVRIN_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test executables run under Wine, one fresh prefix per test run (see cmake/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
