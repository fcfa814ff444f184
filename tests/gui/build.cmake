# The end-to-end form test drives a real dialog with system-wide input
# (SendInput): no other test may open windows, take the foreground or move
# the mouse on the same display while it runs.
if(TW_WINDOWS)
  set_tests_properties(gui/form_e2e_win32 PROPERTIES RUN_SERIAL TRUE)
endif()
# The controls' end-to-end test opens popup windows and sends system-wide
# input in the same way.
if(TW_WINDOWS)
  set_tests_properties(gui/controls_e2e_win32 PROPERTIES RUN_SERIAL TRUE)
endif()
