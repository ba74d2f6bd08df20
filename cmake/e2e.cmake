# End-to-end tests: the real program under Wine, driven by a test program that plays the shell and
# the main process.
enable_testing()

# GoogleTest from Debian's source package, built with our cross compiler. Its own warnings are its
# own: SYSTEM keeps our flags away from its headers.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

set(e2e_definitions WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE)

# The shell that the tests play against: a program of its own, so that it can restart in a new
# process as the real one does. Its look in the demo picture is the demo's own code.
add_executable(orvel_stand_in_shell ${PROJECT_SOURCE_DIR}/tests/e2e/shell/stand_in_shell.cpp
                                    ${PROJECT_SOURCE_DIR}/examples/demo/shell_look.cpp)
target_compile_definitions(orvel_stand_in_shell PRIVATE ${e2e_definitions})
target_include_directories(orvel_stand_in_shell PRIVATE ${PROJECT_SOURCE_DIR}/examples)
target_link_libraries(orvel_stand_in_shell PRIVATE orvel_warnings)
target_link_options(orvel_stand_in_shell PRIVATE -static)

file(GLOB e2e_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/*.cpp)
add_executable(orvel_e2e_tests ${e2e_test_sources})
target_compile_definitions(orvel_e2e_tests PRIVATE ${e2e_definitions})
target_include_directories(orvel_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(orvel_e2e_tests PRIVATE gtest_main orvel_warnings version)
# What the helper's version resource must say.
target_compile_definitions(orvel_e2e_tests PRIVATE
  ORVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} ORVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  ORVEL_VERSION_PATCH=${PROJECT_VERSION_PATCH} ORVEL_VERSION="${PROJECT_VERSION}"
  ORVEL_DESCRIPTION="${PROJECT_DESCRIPTION}")
# No mingw runtime DLLs to find under Wine.
target_link_options(orvel_e2e_tests PRIVATE -static)
# In C++23 this GCC gives std::type_info::operator== an inline body, which it emits out of line
# where it does not inline it (GoogleTest's checked downcasts), while libstdc++.a defines it too:
# the link then fails on the two definitions. In C++20 only the library's exists.
set_target_properties(orvel_e2e_tests PROPERTIES CXX_STANDARD 20)
# The tests start the helper, the stand-in shell and the example application from their own
# directory.
add_dependencies(orvel_e2e_tests orvel-wallpaper-helper orvel_stand_in_shell orvel-host-example)

# Wine sees two monitors only through a fake libXinerama.so.1, a Linux library built with the
# machine's own C compiler.
find_program(ORVEL_NATIVE_CC NAMES gcc cc REQUIRED)
set(fake_xinerama_dir ${CMAKE_BINARY_DIR}/fake-xinerama)
set(fake_xinerama_source ${PROJECT_SOURCE_DIR}/tests/e2e/xinerama/fake_xinerama.c)
add_custom_command(
  OUTPUT ${fake_xinerama_dir}/libXinerama.so.1
  COMMAND ${CMAKE_COMMAND} -E make_directory ${fake_xinerama_dir}
  COMMAND ${ORVEL_NATIVE_CC} -std=c11 -Wall -Wextra -Wpedantic -Wconversion -Werror -shared -fPIC
          -o ${fake_xinerama_dir}/libXinerama.so.1 ${fake_xinerama_source}
  DEPENDS ${fake_xinerama_source}
  VERBATIM)
add_custom_target(orvel_fake_xinerama ALL DEPENDS ${fake_xinerama_dir}/libXinerama.so.1)

# The suite runs on two monitors, on a display and wineserver of its own. One Wine prefix for the
# whole suite; a new prefix alone takes about 15 s.
add_test(NAME e2e COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run --two-monitors ${fake_xinerama_dir}
                          $<TARGET_FILE:orvel_e2e_tests>)
set_tests_properties(e2e PROPERTIES RESOURCE_LOCK wine TIMEOUT 300)

# Whole-process timing of `attach` under Wine; not a test, run by hand:
#   scripts/wine-run build/windows/orvel_attach_startup.exe
add_executable(orvel_trivial ${PROJECT_SOURCE_DIR}/bench/trivial.cpp)
target_link_options(orvel_trivial PRIVATE -static)
# The fixture's shell, helper processes and windows, for the programs below that are not tests.
add_library(orvel_e2e_fixture STATIC ${PROJECT_SOURCE_DIR}/tests/e2e/desktop.cpp)
target_compile_definitions(orvel_e2e_fixture PUBLIC ${e2e_definitions})
target_include_directories(orvel_e2e_fixture PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(orvel_e2e_fixture PUBLIC gtest PRIVATE orvel_warnings)

# A program of the fixture's: `name`, built from `source`, beside the programs it starts.
function(orvel_fixture_program name source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE orvel_e2e_fixture orvel_warnings ${ARGN})
  target_link_options(${name} PRIVATE -static)
  add_dependencies(${name} orvel-wallpaper-helper orvel_stand_in_shell orvel_trivial
                   orvel-host-example)
endfunction()

orvel_fixture_program(orvel_attach_startup ${PROJECT_SOURCE_DIR}/bench/attach_startup.cpp)
# A long run of the helper against the stand-in shell, sampling its memory, handles and threads;
# not a test, run by hand: scripts/soak
orvel_fixture_program(orvel_soak ${PROJECT_SOURCE_DIR}/bench/soak.cpp ntdll)
# The session that scripts/run plays when given no arguments.
orvel_fixture_program(orvel_demo_director ${PROJECT_SOURCE_DIR}/examples/demo/director.cpp)
