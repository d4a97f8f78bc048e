# The operator console and the standard-input reader it is fed by. The console never reaches a
# backend, but the handler it drives links the proxies and the client libraries behind them.
ch_add_test(tst_console
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_console.cpp
    LIBRARIES commandhandler_core proxies siblingclients)
ch_add_test(tst_consolereader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_consolereader.cpp LIBRARIES ls_platform)
