# GoogleTest from Debian's source package, built with this preset's compiler and flags, so that
# the Windows presets get a mingw build of it and the host preset a sanitized one.
set(QEVRIN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${QEVRIN_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest source not found at ${QEVRIN_GTEST_SOURCE}: run scripts/bootstrap")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${QEVRIN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    # GoogleTest is not our code: its own warnings must not fail our build.
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()
