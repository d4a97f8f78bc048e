# Links the in-process fake clients where the device commands need a client library.
ch_add_test(tst_commandhandler
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_commandhandler.cpp
    LIBRARIES commandhandler_core proxies fake_siblingclients)
