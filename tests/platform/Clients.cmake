# Sibling client libraries: argument conversion, and the clients against the simulator.
ch_add_test(tst_SiblingClients
    SOURCES clients/tst_SiblingClients.cpp
    LIBRARIES siblingclients)
add_dependencies(tst_SiblingClients sibling-simulator)
