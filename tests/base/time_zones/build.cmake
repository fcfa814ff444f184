# The time test reads the zone from TZ and checks the rows of cases.txt for
# it. Wine derives the Windows zone from the TZ of the Unix process, so the
# same variable drives both targets. base/time itself runs in one zone; each
# further zone runs the oracle tests once more.
set_property(TEST base/time APPEND PROPERTY ENVIRONMENT "TZ=Europe/Berlin")
foreach(zone America/New_York Australia/Sydney Asia/Kolkata UTC)
  tw_register_test(base/time@${zone} test_base_time --gtest_filter=TimeZoneOracle.*)
  set_property(TEST base/time@${zone} APPEND PROPERTY ENVIRONMENT "TZ=${zone}")
endforeach()
