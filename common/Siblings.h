#pragma once

#include <QString>
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
};

namespace siblings {

enum Id { printManager, configurationManager, documentManager, speech };

// In the order in which the readiness gate asks for them.
const QVector<Sibling>& all();
const Sibling& of(Id id);

} // namespace siblings
