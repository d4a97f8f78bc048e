# The service binary's table check, as a technician and the unit's reload run it: no bus needed.
ch_add_test(tst_tablecheckcommand SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_tablecheckcommand.cpp)
add_dependencies(tst_tablecheckcommand command-handler)
target_compile_definitions(tst_tablecheckcommand PRIVATE
    UNIT_FILE="${PROJECT_BINARY_DIR}/systemd/command-handler.service"
    INSTALLED_BINARY="${CMAKE_INSTALL_FULL_BINDIR}/command-handler"
    DEFAULT_TABLE="${PROJECT_SOURCE_DIR}/data/commandTable.json")
