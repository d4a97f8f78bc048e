#pragma once

#include <QString>

// The names of the service's status as the bus shows it: the interface beside the command
// interface, its properties, and the keys of the entries it lists per sibling. The service
// offers them and chctl status lays them out. Times are microseconds since the epoch, 0 for
// never, as systemd's timestamps are.
namespace status {

inline const QString interfaceName = QStringLiteral("com.vellorn.CommandHandler.Status");

namespace property {
inline const QString version = QStringLiteral("Version");
inline const QString servingSince = QStringLiteral("ServingSince");
inline const QString tablePath = QStringLiteral("TablePath");
inline const QString tableCommands = QStringLiteral("TableCommands");
inline const QString tableLoadedAt = QStringLiteral("TableLoadedAt");
inline const QString tableRefusal = QStringLiteral("TableRefusal");
inline const QString tableRefusedAt = QStringLiteral("TableRefusedAt");
inline const QString siblings = QStringLiteral("Siblings");
inline const QString lanes = QStringLiteral("Lanes");
inline const QString answeredAtOnce = QStringLiteral("AnsweredAtOnce");
inline const QString refused = QStringLiteral("Refused");
} // namespace property

// The entries of Siblings and Lanes, one per sibling in the same order.
namespace entry {
inline const QString name = QStringLiteral("Name");
inline const QString busName = QStringLiteral("BusName");
inline const QString onBus = QStringLiteral("OnBus");
// When OnBus last changed, or the service's start.
inline const QString since = QStringLiteral("Since");
// The command running on the lane: its name and number, empty and 0 while none runs.
inline const QString command = QStringLiteral("Command");
inline const QString commandNumber = QStringLiteral("CommandNumber");
inline const QString runningSince = QStringLiteral("RunningSince");
// Since when the lane has had commands to run without a pause; 0 while it is idle.
inline const QString busySince = QStringLiteral("BusySince");
inline const QString waiting = QStringLiteral("Waiting");
inline const QString run = QStringLiteral("Run");
inline const QString failed = QStringLiteral("Failed");
inline const QString notRunAfterWait = QStringLiteral("NotRunAfterWait");
inline const QString notRunFull = QStringLiteral("NotRunFull");
inline const QString notRunAtStop = QStringLiteral("NotRunAtStop");
inline const QString lastFailureAt = QStringLiteral("LastFailureAt");
inline const QString lastFailure = QStringLiteral("LastFailure");
} // namespace entry

} // namespace status
