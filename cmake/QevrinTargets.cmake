# Helpers that every module's CMakeLists uses to declare its tests, fuzz targets and benchmarks.

# qevrin_add_test(NAME <module>_tests SOURCES ... [LIBS ...])
# One executable per module, registered as one CTest test; on the Windows presets CTest runs it
# through Wine (CMAKE_CROSSCOMPILING_EMULATOR), so Wine starts once per module.
function(qevrin_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(QEVRIN_FUZZ)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gmock gtest_main)
  if(QEVRIN_WINDOWS)
    set_target_properties(${T_NAME} PROPERTIES OUTPUT_NAME ${T_NAME})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 600)
endfunction()

# qevrin_add_fuzzer(NAME <target> SOURCES ... [LIBS ...] CORPUS <dir>)
# Built only in the fuzz preset. CTest runs a short, bounded session over the seed corpus.
function(qevrin_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT QEVRIN_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set(seconds $ENV{QEVRIN_FUZZ_SECONDS})
  if(NOT seconds)
    set(seconds 20)
  endif()
  add_test(NAME ${F_NAME}
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/run-fuzzer $<TARGET_FILE:${F_NAME}> ${F_CORPUS} ${seconds})
  set_tests_properties(${F_NAME} PROPERTIES TIMEOUT 300)
endfunction()

# qevrin_add_bench(NAME <bench> SOURCES ... [LIBS ...])
# Google Benchmark programs, host preset only; scripts/bench runs them. They are not tests.
function(qevrin_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT QEVRIN_HOST OR QEVRIN_FUZZ)
    return()
  endif()
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    message(STATUS "Google Benchmark not found: ${B_NAME} is not built")
    return()
  endif()
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
  # scripts/bench builds this target alone: the benchmarks, not the test suites.
  if(NOT TARGET benchmarks)
    add_custom_target(benchmarks)
  endif()
  add_dependencies(benchmarks ${B_NAME})
endfunction()

# qevrin_add_import_check()
# Windows presets: one test that reads the import table of every program, test and driver built
# in this tree and fails on a function that Windows 6.0 lacks (cmake/check-windows-imports).
function(qevrin_add_import_check)
  if(NOT QEVRIN_WINDOWS OR QEVRIN_FUZZ)
    return()
  endif()
  add_test(NAME windows_6_0_imports
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/check-windows-imports ${CMAKE_OBJDUMP} ${PROJECT_BINARY_DIR})
endfunction()

# qevrin_add_crash_check()
# Windows presets: a program that crashes on purpose must end at once with the access violation
# as its exit code, in the prefix that runs this tree's suites and in the kind that
# scripts/ui-test-run makes for the UI suites (Wine's crash dialog would hold a crashed suite
# until its time limit). scripts/smoke makes its prefixes the way ui-test-run does.
function(qevrin_add_crash_check)
  if(NOT QEVRIN_WINDOWS OR QEVRIN_FUZZ)
    return()
  endif()
  add_executable(crash_exit_check ${PROJECT_SOURCE_DIR}/cmake/crash_exit_check.cpp)
  add_test(NAME crash_ends_with_its_exception COMMAND crash_exit_check)
  add_test(NAME crash_ends_with_its_exception_in_a_ui_prefix
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/ui-test-run $<TARGET_FILE:crash_exit_check>
                   ${PROJECT_BINARY_DIR}/test-output/crash_exit_check)
  set_tests_properties(crash_ends_with_its_exception crash_ends_with_its_exception_in_a_ui_prefix
                       PROPERTIES TIMEOUT 120)
endfunction()
