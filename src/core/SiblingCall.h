#pragma once

#include <QString>
#include <QVariantList>

struct Sibling;

// A device command that has passed every check that needs no sibling: what its sibling is to be
// asked, and the origin of the checks that passed it, which the error lines written where it
// runs carry. A value, handed from the thread that checked it to the one that runs it.
struct SiblingCall {
    enum class Operation {
        // The backend method the command table names, chosen by the result type.
        byName,
        // The IPC commands' two fixed operations of print-manager.
        setIpcState,
        runTest,
    };

    const Sibling* sibling = nullptr;
    QString category;
    // The command's number, for the lines about it.
    int number = 0;
    QString origin;
    Operation operation = Operation::byName;
    QString resultType;
    QString function;
    // Whether the backend method is called with the argument list; the table decides.
    bool withArguments = false;
    QVariantList args;
    bool ipcState = true;
    int parameter = 0;
};
