# The service binary's start-up and its standard input, on a private bus.
ch_add_test(tst_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp LIBRARIES ls_platform)
add_dependencies(tst_startup command-handler)
# The unit's environment, so that the log lines are checked as the journal gets them.
target_compile_definitions(tst_startup PRIVATE
    UNIT_FILE="${PROJECT_BINARY_DIR}/systemd/command-handler.service")
