ch_add_test(tst_devicecommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_devicecommands.cpp)
add_dependencies(tst_devicecommands command-handler sibling-simulator)
# Its answers as large as the bus carries must arrive within the client library's short call
# time-out; beside the service test's 12 MB requests on two loaded cores (sanitizers) they did not.
set_tests_properties(tst_devicecommands PROPERTIES RESOURCE_LOCK largest-messages)
