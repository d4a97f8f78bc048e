#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <QVector>

class CommandHandler;
class Lanes;

// What the service is doing, for the status on the bus and systemd's status line: since when it
// serves, the command table in use and the last one refused, which siblings are on the bus, and,
// read from the lanes and the handler when asked, what each lane runs and has run and what was
// answered at once. Only the rare changes are kept here and announced; the counts are read on
// demand, so that the request path does nothing for the status. Lives on the main thread and is
// used from there only.
class ServiceStatus : public QObject
{
    Q_OBJECT
public:
    // The lanes and the handler outlive it.
    ServiceStatus(const Lanes& lanes, const CommandHandler& handler, QObject* parent = nullptr);

    quint64 servingSinceUs() const { return m_servingSinceUs; }
    QString tablePath() const { return m_tablePath; }
    uint tableCommands() const { return m_tableCommands; }
    quint64 tableLoadedAtUs() const { return m_tableLoadedAtUs; }
    QString tableRefusal() const { return m_tableRefusal; }
    quint64 tableRefusedAtUs() const { return m_tableRefusedAtUs; }
    // One entry per sibling: its names and whether it is on the bus, since when.
    QList<QVariantMap> siblings() const;
    // One entry per sibling's lane: the command it runs, the requests waiting, the counts since
    // start and the last failure.
    QList<QVariantMap> lanes() const;
    quint64 answeredAtOnce() const;
    QMap<QString, qulonglong> refused() const;

    // One line for systemd: the commands served, and each sibling that is off the bus or busy
    // with one command for longer than a sibling call takes.
    QString summary() const;

public slots:
    // The bus name is the service's from now on.
    void serving();

signals:
    // The properties whose values changed; only the rare ones are announced.
    void changed(const QStringList& properties);

private:
    struct Presence {
        bool onBus = false;
        quint64 sinceUs = 0;
    };

    void watchSiblings();
    void onOwnerChanged(const QString& busName, const QString& oldOwner, const QString& newOwner);
    void onTableLoaded(const QString& path, int commands);
    void onTableRefused(const QString& path, const QString& refusal);

    const Lanes& m_lanes;
    const CommandHandler& m_handler;
    quint64 m_servingSinceUs = 0;
    QString m_tablePath;
    uint m_tableCommands = 0;
    quint64 m_tableLoadedAtUs = 0;
    QString m_tableRefusal;
    quint64 m_tableRefusedAtUs = 0;
    // In the order of the siblings' table.
    QVector<Presence> m_presence;
};
