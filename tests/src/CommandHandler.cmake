# The handler in-process, with the real client libraries behind its proxies.
ch_add_test(tst_commandhandler
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_commandhandler.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
