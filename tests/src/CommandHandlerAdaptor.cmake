ch_add_test(tst_commandhandleradaptor
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_commandhandleradaptor.cpp
    LIBRARIES commandhandler_core proxies fake_siblingclients)
