# What a reply can carry, with values sent through a private bus to come back as a sibling's.
ch_add_test(tst_buslimits
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_buslimits.cpp
    LIBRARIES commandhandler_core)
