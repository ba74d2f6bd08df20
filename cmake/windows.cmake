# The shipped program: a console .exe, statically linked, stripped, optimised for size.
target_compile_definitions(orvel_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00
                                             WINVER=0x0A00 UNICODE _UNICODE)
set(size_flags -Os -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti
               -fno-asynchronous-unwind-tables)
target_compile_options(orvel_core PRIVATE ${size_flags})

add_executable(orvel-wallpaper-helper src/main/main.cpp src/platform/win32_platform.cpp)
target_compile_options(orvel-wallpaper-helper PRIVATE ${size_flags})
target_link_libraries(orvel-wallpaper-helper PRIVATE orvel_core orvel_warnings)
target_link_options(orvel-wallpaper-helper PRIVATE -static -s -Wl,--gc-sections -mconsole
  # Nothing here throws: should the standard library ever give up, abort at once instead of
  # printing through the verbose terminate handler, which would bring in the whole demangler.
  -Wl,--defsym=_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)

enable_testing()
add_test(NAME imports_system_dlls_only
         COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check-imports
                 $<TARGET_FILE:orvel-wallpaper-helper>)

# An application that embeds the helper; the end-to-end tests run it too.
add_subdirectory(examples)

# End-to-end tests of the real program under Wine.
include(cmake/e2e.cmake OPTIONAL)
