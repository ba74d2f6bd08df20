# Coverage-guided fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan), each run briefly
# by ctest from a seed corpus.
enable_testing()
set(ORVEL_FUZZ_SECONDS 20 CACHE STRING "How long ctest runs each fuzz target")
set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
# The program's own code is instrumented too, so that coverage guides the fuzzer through it.
target_compile_options(orvel_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined)

foreach(target command_line_fuzz stdin_lines_fuzz mouse_fuzz coverage_fuzz)
  add_executable(${target} fuzz/${target}.cpp)
  target_compile_options(${target} PRIVATE ${fuzz_flags})
  target_link_options(${target} PRIVATE ${fuzz_flags})
  target_link_libraries(${target} PRIVATE orvel_core orvel_warnings)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus/${target})
  add_test(NAME ${target}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   $<TARGET_FILE:${target}> -max_total_time=${ORVEL_FUZZ_SECONDS} -timeout=10
                   -print_final_stats=1 ${corpus} ${PROJECT_SOURCE_DIR}/fuzz/seeds/${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 300)
  file(MAKE_DIRECTORY ${corpus})
endforeach()
