# The device-library stand-ins: the sibling client libraries against the simulator.
ch_add_test(tst_platform SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_platform.cpp
    LIBRARIES siblingclients ls_platform)
add_dependencies(tst_platform sibling-simulator)
