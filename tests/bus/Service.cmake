# The service binary on a private bus: its robustness, then its start-up, stop and failures.
ch_add_test(tst_service SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_service.cpp LIBRARIES ls_platform)
add_dependencies(tst_service command-handler)
# The unit's environment, so that the log lines are checked as the journal gets them.
target_compile_definitions(tst_service PRIVATE
    UNIT_FILE="${PROJECT_BINARY_DIR}/systemd/command-handler.service")
# Its requests of many megabytes never run beside the device test's largest answers.
set_tests_properties(tst_service PROPERTIES RESOURCE_LOCK largest-messages)
