ch_add_test(tst_dbusargumentunpack
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dbusargumentunpack.cpp LIBRARIES ls_platform)
