# The readiness gate that holds start-up until the sibling services are ready. Its meta-object is
# compiled together with the handler's, which links the proxies and the client libraries.
ch_add_test(tst_systemcheck
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_systemcheck.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
