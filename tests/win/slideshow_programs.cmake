# The slideshow's Windows test programs: ScreenSaverProc and PresentImage on windows of their own.
foreach(program slideshow_show_test slideshow_presenter_test)
  add_executable(${program} ${program}.cpp slideshow_test_window.cpp import_patch.cpp)
  target_link_libraries(${program} PRIVATE windows_check host_win32 saver_resources psapi)
endforeach()
