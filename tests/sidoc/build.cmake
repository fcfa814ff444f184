# The viewer's window test sends system-wide input (SendInput): no other
# test may open windows or move the mouse on the same display meanwhile.
if(TW_WINDOWS)
  set_tests_properties(sidoc/doc_viewer_win32 PROPERTIES RUN_SERIAL TRUE)
endif()
