ch_add_test(tst_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_load.cpp)
add_dependencies(tst_load command-handler sibling-simulator)
