# The lanes' settings read from the environment.
ch_add_test(tst_lanesettings
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_lanesettings.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
