# Backend proxies, run against the in-process fake clients.
ch_add_test(test_proxies
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProxiesTest.cpp
    LIBRARIES proxies fake_siblingclients)
