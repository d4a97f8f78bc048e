# The console's print-out of notifications, in-process.
ch_add_test(tst_console
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_console.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
