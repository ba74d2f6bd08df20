# The native build: the table tests of the program's decisions.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
enable_testing()

file(GLOB_RECURSE unit_test_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(orvel_unit_tests ${unit_test_sources})
target_include_directories(orvel_unit_tests PRIVATE tests)
target_link_libraries(orvel_unit_tests PRIVATE orvel_core orvel_warnings GTest::gtest_main
                                               Threads::Threads)
# One process, the cases in a new order each time: no case may lean on another.
add_test(NAME unit COMMAND orvel_unit_tests --gtest_shuffle --gtest_repeat=3)

# CPU time of the mouse translation per record and of the shell hook's decision. Run by hand,
# never by the test command.
find_package(benchmark REQUIRED)
add_executable(orvel_mouse_bench bench/mouse_bench.cpp)
target_link_libraries(orvel_mouse_bench PRIVATE orvel_core orvel_warnings benchmark::benchmark)

# Folders depend only downward, no header includes itself, and pure headers reach no interface.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME include_structure
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/structure/check_includes.py
                 ${PROJECT_SOURCE_DIR}/src)
