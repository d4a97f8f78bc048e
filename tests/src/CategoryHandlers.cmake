# The device-command handlers, run against the in-process fake clients.
# The proxies are named before the fakes so that the static link resolves them in that order.
ch_add_test(test_category_handlers
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CategoryHandlersTest.cpp
    LIBRARIES commandhandler_core proxies fake_siblingclients)
