# Compiler settings shared by every target of every preset. Warnings are errors everywhere.
add_compile_options(-Wall -Wextra -Werror -Wno-unknown-pragmas)

if(QEVRIN_WINDOWS)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600 WINVER=0x0600)
  # Static C/C++ runtime and winpthreads: the binaries need no mingw DLL beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # CMake adds these to every Windows link; keep them explicit for the programs that need them.
  set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
  set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
endif()

if(QEVRIN_HOST AND QEVRIN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

if(QEVRIN_FUZZ)
  # Every object carries the coverage instrumentation; the fuzz executables add the driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
