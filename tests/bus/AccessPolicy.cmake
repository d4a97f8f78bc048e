ch_add_test(tst_accesspolicy SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_accesspolicy.cpp)
add_dependencies(tst_accesspolicy command-handler)
