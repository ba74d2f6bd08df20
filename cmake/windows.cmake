# The shipped program: a console .exe, statically linked, stripped, optimised for size.
target_compile_definitions(orvel_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00
                                             WINVER=0x0A00 UNICODE _UNICODE)
set(size_flags -Os -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti
               -fno-asynchronous-unwind-tables)
target_compile_options(orvel_core PRIVATE ${size_flags})

set(helper orvel-wallpaper-helper)

# The version resource, compiled apart so that no C++ flag reaches windres.
enable_language(RC)
configure_file(src/main/version.rc.in version.rc @ONLY)
add_library(orvel_version_resource OBJECT ${CMAKE_CURRENT_BINARY_DIR}/version.rc)

set(win32_platform_sources src/platform/win32_constants.cpp src/platform/win32_messages.cpp
                           src/platform/win32_platform.cpp
                           src/platform/win32_runtime.cpp
                           src/platform/win32_system.cpp
                           src/platform/win32_visibility.cpp)
add_executable(${helper} src/main/main.cpp ${win32_platform_sources})
target_compile_options(${helper} PRIVATE ${size_flags})
target_link_libraries(${helper} PRIVATE orvel_core orvel_warnings orvel_version_resource)
target_link_options(${helper} PRIVATE -static -s -Wl,--gc-sections -mconsole
  # The same commit gives the same bytes: no link time in the header.
  -Wl,--no-insert-timestamp)
# Optimised across its files, the program is a sixth smaller. In one partition: this GCC fails
# inside itself where it would split so small a program across several.
set_property(TARGET orvel_core ${helper} PROPERTY INTERPROCEDURAL_OPTIMIZATION TRUE)
set(lto_link_flags -flto-partition=one)
target_link_options(${helper} PRIVATE ${lto_link_flags})

enable_testing()
add_test(NAME imports_system_dlls_only
         COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check-imports
                 $<TARGET_FILE:${helper}>)
# Small enough to ship inside any application.
add_test(NAME size_at_most_192_kib
         COMMAND sh -c "size=$(stat -c %s \"$0\"); echo $size; [ $size -le 196608 ]"
                 $<TARGET_FILE:${helper}>)
add_test(NAME reproducible_build
         COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check-reproducible
                 $<TARGET_FILE:${helper}> ${PROJECT_SOURCE_DIR})

# The release: the program, the check that tells whether it works on a desktop, what they do and
# their licence, side by side in one ZIP. The check is made with the examples, below.
install(TARGETS ${helper} RUNTIME DESTINATION .)
install(FILES README.md LICENSE DESTINATION .)
set(CPACK_PACKAGE_NAME ${helper})
set(CPACK_GENERATOR ZIP)
include(CPack)

# Debian's nlohmann-json3-dev lives in /usr/include among Linux's own headers, which must stay out
# of a Windows build: a directory of our own holds a link to it alone, for the example application
# and the tests.
set(json_include ${CMAKE_BINARY_DIR}/include)
file(MAKE_DIRECTORY ${json_include})
file(CREATE_LINK /usr/include/nlohmann ${json_include}/nlohmann SYMBOLIC)

# The desktop under Wine that the tests, the benchmarks and the demo play the helper against.
add_subdirectory(tools/wine_desktop)
# An application that embeds the helper, which the end-to-end tests run too, the demo, and the
# check.
add_subdirectory(examples)
install(TARGETS orvel-wallpaper-check RUNTIME DESTINATION .)

# End-to-end tests of the real program under Wine.
include(cmake/e2e.cmake OPTIONAL)
