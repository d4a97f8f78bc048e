# The start-up gate on a readiness directory of the test's own.
ch_add_test(tst_systemcheck
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_systemcheck.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
