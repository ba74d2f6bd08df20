# The native build: the unit tests against the simulated desktop.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
include(GoogleTest)
enable_testing()

file(GLOB_RECURSE unit_test_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(orvel_unit_tests ${unit_test_sources})
target_include_directories(orvel_unit_tests PRIVATE tests)
target_link_libraries(orvel_unit_tests PRIVATE orvel_sim orvel_warnings GTest::gtest_main
                                               GTest::gmock Threads::Threads)
# Each case in a process of its own, so process-wide state never leaks between cases.
gtest_discover_tests(orvel_unit_tests DISCOVERY_TIMEOUT 30)

# CPU time of the mouse translation per record. Run by hand, never by the test command.
find_package(benchmark REQUIRED)
add_executable(orvel_mouse_bench bench/mouse_bench.cpp)
target_link_libraries(orvel_mouse_bench PRIVATE orvel_core orvel_warnings benchmark::benchmark)
