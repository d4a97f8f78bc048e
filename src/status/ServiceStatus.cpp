#include "ServiceStatus.h"

#include "Category.h"
#include "CommandHandler.h"
#include "Lanes.h"
#include "Siblings.h"
#include "StatusKeys.h"
#include "WallClock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace {

// A lane busy without a pause for this long is worth a word in systemd's status line: longer
// than any one sibling call may take.
constexpr quint64 busyWorthTellingUs = 5'000'000;

QString secondsSince(quint64 sinceUs, quint64 nowUs)
{
    return QStringLiteral("%1 s").arg((nowUs - qMin(sinceUs, nowUs)) / 1'000'000);
}

} // namespace

ServiceStatus::ServiceStatus(const Lanes& lanes, const CommandHandler& handler, QObject* parent)
    : QObject(parent), m_lanes(lanes), m_handler(handler), m_presence(siblings::all().size())
{
    connect(&handler, &CommandHandler::tableLoaded, this, &ServiceStatus::onTableLoaded);
    connect(&handler, &CommandHandler::tableRefused, this, &ServiceStatus::onTableRefused);
    watchSiblings();
}

// Watched before each is asked, so that a sibling that comes or goes in between is not missed.
void ServiceStatus::watchSiblings()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    auto* watcher = new QDBusServiceWatcher(this);
    watcher->setConnection(bus);
    for (const Sibling& sibling : siblings::all()) {
        watcher->addWatchedService(sibling.busName);
    }
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &ServiceStatus::onOwnerChanged);
    const quint64 now = wallClockUs();
    for (int i = 0; i < m_presence.size(); ++i) {
        const bool onBus = bus.isConnected() &&
                           bus.interface()->isServiceRegistered(siblings::all().at(i).busName);
        m_presence[i] = {onBus, now};
    }
}

void ServiceStatus::onOwnerChanged(const QString& busName, const QString&, const QString& newOwner)
{
    for (int i = 0; i < m_presence.size(); ++i) {
        if (siblings::all().at(i).busName != busName) {
            continue;
        }
        const bool onBus = !newOwner.isEmpty();
        if (m_presence.at(i).onBus != onBus) {
            m_presence[i] = {onBus, wallClockUs()};
            emit changed({status::property::siblings});
        }
    }
}

void ServiceStatus::onTableLoaded(const QString& path, int commands)
{
    m_tablePath = path;
    m_tableCommands = uint(commands);
    m_tableLoadedAtUs = wallClockUs();
    m_tableRefusal.clear();
    m_tableRefusedAtUs = 0;
    emit changed({status::property::tablePath, status::property::tableCommands,
                  status::property::tableLoadedAt, status::property::tableRefusal,
                  status::property::tableRefusedAt});
}

// The table in use, and its path, stay as they were.
void ServiceStatus::onTableRefused(const QString&, const QString& refusal)
{
    m_tableRefusal = refusal;
    m_tableRefusedAtUs = wallClockUs();
    emit changed({status::property::tableRefusal, status::property::tableRefusedAt});
}

void ServiceStatus::serving()
{
    m_servingSinceUs = wallClockUs();
    emit changed({status::property::servingSince});
}

QList<QVariantMap> ServiceStatus::siblings() const
{
    QList<QVariantMap> entries;
    for (int i = 0; i < m_presence.size(); ++i) {
        const Sibling& sibling = siblings::all().at(i);
        entries << QVariantMap{{status::entry::name, sibling.name},
                               {status::entry::busName, sibling.busName},
                               {status::entry::onBus, m_presence.at(i).onBus},
                               {status::entry::since, m_presence.at(i).sinceUs}};
    }
    return entries;
}

QList<QVariantMap> ServiceStatus::lanes() const
{
    QList<QVariantMap> entries;
    for (const Sibling& sibling : siblings::all()) {
        const Lane::Status lane = m_lanes.status(sibling);
        const Category* category = Category::holding(lane.running);
        entries << QVariantMap{{status::entry::name, sibling.name},
                               {status::entry::command, category != nullptr
                                                            ? category->commands.key(lane.running)
                                                            : QString()},
                               {status::entry::commandNumber, lane.running},
                               {status::entry::runningSince, lane.runningSinceUs},
                               {status::entry::busySince, lane.busySinceUs},
                               {status::entry::waiting, uint(lane.waiting)},
                               {status::entry::run, lane.run},
                               {status::entry::failed, lane.failed},
                               {status::entry::notRunAfterWait, lane.notRunAfterWait},
                               {status::entry::notRunFull, lane.notRunFull},
                               {status::entry::notRunAtStop, lane.notRunAtStop},
                               {status::entry::lastFailureAt, lane.lastFailureUs},
                               {status::entry::lastFailure, lane.lastFailure}};
    }
    return entries;
}

quint64 ServiceStatus::answeredAtOnce() const
{
    return m_handler.tally().answered;
}

QMap<QString, qulonglong> ServiceStatus::refused() const
{
    return m_handler.tally().refused;
}

QString ServiceStatus::summary() const
{
    QStringList parts{QStringLiteral("Serving %1 commands").arg(m_tableCommands)};
    const quint64 now = wallClockUs();
    for (int i = 0; i < m_presence.size(); ++i) {
        const Sibling& sibling = siblings::all().at(i);
        const quint64 busySince = m_lanes.status(sibling).busySinceUs;
        if (!m_presence.at(i).onBus) {
            parts << QStringLiteral("%1 not on the bus").arg(sibling.name);
        } else if (busySince != 0 && now - qMin(busySince, now) >= busyWorthTellingUs) {
            parts
                << QStringLiteral("%1 busy for %2").arg(sibling.name, secondsSince(busySince, now));
        }
    }
    return parts.join(QStringLiteral("; "));
}
