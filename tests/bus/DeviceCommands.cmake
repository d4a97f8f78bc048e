ch_add_test(tst_devicecommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_devicecommands.cpp)
add_dependencies(tst_devicecommands command-handler sibling-simulator)
