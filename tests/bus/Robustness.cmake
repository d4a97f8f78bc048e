ch_add_test(tst_robustness SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_robustness.cpp)
add_dependencies(tst_robustness command-handler)
