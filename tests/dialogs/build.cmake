# The dialogs' end-to-end test opens real windows and reads the screen for
# its screenshots: no other test may open windows or take the foreground on
# the same display while it runs.
if(TW_WINDOWS)
  set_tests_properties(dialogs/dialogs_e2e_win32 dialogs/choosers_e2e_win32 PROPERTIES RUN_SERIAL TRUE)
endif()
