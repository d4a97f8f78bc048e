#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>

// What the simulated siblings share: their names on the device and a log line per call, so a
// demo or a test can follow what the command handler asked for.
class SimulatedSibling : public QObject
{
    Q_OBJECT
public:
    SimulatedSibling(const QString& name, const QString& readinessName, const QString& busName,
                     QObject* parent = nullptr);

    QString name() const { return m_name; }
    QString readinessName() const { return m_readinessName; }
    QString busName() const { return m_busName; }

public slots:
    // A sibling that is slow to answer: every later call takes this long before it runs.
    void setDelay(int milliseconds);

protected:
    // One line per call, e.g. print-manager: feedLines(3).
    void logCall(const char* method, const QVariantList& arguments = {}) const;

private:
    QString m_name;
    QString m_readinessName;
    QString m_busName;
    int m_delayMs = 0;
};
