# The host's Windows test programs and the stand-ins for the system's password modules.
add_executable(host_message_ids_test host_message_ids_test.cpp host_message_ids_portable.cpp)
target_link_libraries(host_message_ids_test PRIVATE windows_check host)

# The scope types that hold the password hook's registry key and modules.
add_executable(handle_scopes_test handle_scopes_test.cpp)
target_link_libraries(handle_scopes_test PRIVATE windows_check advapi32)

add_executable(host_window_probe host_window_probe.cpp)
target_link_libraries(host_window_probe PRIVATE user32)

add_executable(host_preview_parent_test host_preview_parent_test.cpp)
target_link_libraries(host_preview_parent_test PRIVATE windows_check wine_start user32 gdi32)

# Stand-ins: DLLs under the system modules' own file names, exporting the entries by name.
function(add_password_standin target source file_name)
  add_library(${target} SHARED standins/${source}.cpp standins/${source}.def)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME "${file_name}" SUFFIX "")
  target_link_libraries(${target} PRIVATE user32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
  # One folder each: two of them share a file name, and a test copies one beside the .scr.
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/standins/${target}"
    ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/standins/${target}")
endfunction()
add_password_standin(standin_password_cpl password_cpl PASSWORD.CPL)
add_password_standin(standin_password_cpl_without_entry password_cpl_without_entry PASSWORD.CPL)
add_password_standin(standin_mpr_dll mpr_dll MPR.DLL)
