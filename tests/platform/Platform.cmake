# The device-library stand-ins: the sibling client libraries against the simulator.
ch_add_test(tst_platform SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_platform.cpp
    LIBRARIES siblingclients ls_platform)
add_dependencies(tst_platform sibling-simulator)

# The console's reader, with standard input replaced by a pipe.
ch_add_test(tst_consolereader SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_consolereader.cpp
    LIBRARIES ls_platform)
