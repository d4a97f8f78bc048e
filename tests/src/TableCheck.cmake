# The command table's checks at load, in-process, on the shipped table with one mistake at a time.
ch_add_test(tst_tablecheck
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_tablecheck.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
target_compile_definitions(tst_tablecheck PRIVATE
    DEFAULT_TABLE="${PROJECT_SOURCE_DIR}/data/commandTable.json")
