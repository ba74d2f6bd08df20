# End-to-end tests: the real program under Wine, driven by a test program that plays the shell and
# the main process.
enable_testing()

# GoogleTest from Debian's source package, built with our cross compiler. Its own warnings are its
# own: SYSTEM keeps our flags away from its headers.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

file(GLOB e2e_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/*.cpp)
add_executable(orvel_e2e_tests ${e2e_test_sources})
# The helper's own window ids, which the tests forge messages with.
target_include_directories(orvel_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
target_include_directories(orvel_e2e_tests SYSTEM PRIVATE ${json_include})
target_link_libraries(orvel_e2e_tests PRIVATE gtest_main orvel_wine_desktop orvel_warnings version ntdll)
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
add_dependencies(orvel_e2e_tests orvel-wallpaper-helper orvel_helper_faults orvel_stand_in_shell
                 orvel-host-example orvel-wallpaper-check)

# The helper as shipped, on a platform that logs its calls and fails or slows the ones a test names.
add_executable(orvel_helper_faults ${PROJECT_SOURCE_DIR}/tests/wine/fault_platform.cpp
                                   ${win32_platform_sources})
target_compile_options(orvel_helper_faults PRIVATE ${size_flags})
target_link_libraries(orvel_helper_faults PRIVATE orvel_core orvel_warnings)
target_link_options(orvel_helper_faults PRIVATE -static -mconsole ${lto_link_flags})
set_property(TARGET orvel_helper_faults PROPERTY INTERPROCEDURAL_OPTIMIZATION TRUE)

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

# Whole-process timings under Wine, beside the least programs that do the same; not tests, run by
# hand:
#   scripts/wine-run build/windows/orvel_startup.exe         (attach, inspect and refresh)
#   scripts/wine-run build/windows/orvel_mouse_latency.exe   (a wheel step to its line)
add_executable(orvel_trivial ${PROJECT_SOURCE_DIR}/bench/trivial.cpp)
target_link_options(orvel_trivial PRIVATE -static)
# The least programs, built and linked as the helper is, but for its link-time optimisation.
foreach(least attach_floor mouse_floor)
  add_executable(orvel_${least} ${PROJECT_SOURCE_DIR}/bench/${least}.cpp)
  target_compile_options(orvel_${least} PRIVATE ${size_flags})
  target_link_libraries(orvel_${least} PRIVATE orvel_wine_desktop orvel_warnings)
  target_link_options(orvel_${least} PRIVATE -static -s -Wl,--gc-sections -mconsole)
endforeach()
# A program that plays the helper against the desktop: `name`, built from `source`.
function(orvel_desktop_program name source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE orvel_wine_desktop orvel_warnings ${ARGN})
  target_link_options(${name} PRIVATE -static)
  add_dependencies(${name} orvel-wallpaper-helper orvel_stand_in_shell orvel_trivial
                   orvel_attach_floor orvel_mouse_floor)
endfunction()

orvel_desktop_program(orvel_startup ${PROJECT_SOURCE_DIR}/bench/startup.cpp)
orvel_desktop_program(orvel_mouse_latency ${PROJECT_SOURCE_DIR}/bench/mouse_latency.cpp)