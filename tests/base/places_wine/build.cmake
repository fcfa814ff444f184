# The places tests once more under Wine, reporting Windows 10 and with a CD
# drive mapped into the prefix (see places_wine.sh).
if(TW_WINDOWS)
  tw_register_test(base/dirlist_win32@places ${TW_ROOT}/tests/base/places_wine/places_wine.sh
                   $<TARGET_FILE:test_base_dirlist_win32>)
endif()
