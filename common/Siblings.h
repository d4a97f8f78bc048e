#pragma once

// Before anything of a file that includes this one: statics built from the table at start-up
// then find the category names, defined inline there, already made.
#include "ls/Enums.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The four sibling services, written down once: every part of the project that names a sibling
// (the readiness gate, the lanes, the client libraries' stand-ins, the tests) reads it here.
// Immutable; safe from any thread.
struct Sibling {
    // The service's own name: its lane's thread and the simulator's argument.
    QString name;
    // The name under which it announces readiness.
    QString readinessName;
    QString busName;
    // The command categories whose commands it carries out.
    QStringList categories;
    // The logging category of its connection changes.
    const char* logCategory;
};

namespace siblings {

enum Id { printManager, configurationManager, documentManager, speech };

// In the order in which the readiness gate asks for them.
const QVector<Sibling>& all();
const Sibling& of(Id id);
// The sibling that carries out a category's commands; null for none.
const Sibling* carrying(const QString& category);

} // namespace siblings
