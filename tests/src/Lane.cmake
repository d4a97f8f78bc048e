# A lane in-process, with a fake runner in place of the sibling's proxy and client.
ch_add_test(tst_lane
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_lane.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
