# The configuration dialog's Windows test programs. dialog_driver runs "screensaver.scr /c" and
# works its dialog from outside with real input.
add_library(dialog_driver STATIC dialog_driver.cpp)
target_link_libraries(dialog_driver PUBLIC windows_check wine_start user32 gdi32)

add_executable(dialog_template_test dialog_template_test.cpp)
target_link_libraries(dialog_template_test PRIVATE dialog_driver)

add_executable(dialog_settings_test dialog_settings_test.cpp)
target_link_libraries(dialog_settings_test PRIVATE dialog_driver)

add_executable(dialog_browse_test dialog_browse_test.cpp)
target_link_libraries(dialog_browse_test PRIVATE dialog_driver)

# The dialog code and template linked in, with the file dialog answered by the test.
add_executable(dialog_browse_injected_test dialog_browse_injected_test.cpp import_patch.cpp)
target_link_libraries(dialog_browse_injected_test PRIVATE dialog_driver host_win32 saver_resources)

# The .scr's manifest applied to a program that carries the same resources.
add_executable(dialog_manifest_test dialog_manifest_test.cpp)
target_link_libraries(dialog_manifest_test PRIVATE windows_check saver_resources comctl32)
