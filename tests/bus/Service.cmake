ch_add_test(tst_servicebus SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_servicebus.cpp)
add_dependencies(tst_servicebus command-handler)
