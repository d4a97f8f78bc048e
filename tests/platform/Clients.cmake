# Sibling client libraries: argument conversion alone, and the clients against the simulator.
ch_add_test(tst_SiblingLinkArguments
    SOURCES clients/tst_SiblingLinkArguments.cpp
    LIBRARIES siblingclients)
ch_add_test(tst_SiblingClients
    SOURCES clients/tst_SiblingClients.cpp
    LIBRARIES siblingclients)
add_dependencies(tst_SiblingClients sibling-simulator)
