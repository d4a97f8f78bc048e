#pragma once

#include "Siblings.h"

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantList>

// What the simulated siblings share: their names on the device and a log line per call, so a
// demo or a test can follow what the command handler asked for.
class SimulatedSibling : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    SimulatedSibling(const Sibling& sibling, QObject* parent = nullptr);

    QString name() const { return m_sibling.name; }
    QString readinessName() const { return m_sibling.readinessName; }
    QString busName() const { return m_sibling.busName; }

public slots:
    // A sibling that is slow to answer: every later call takes this long before it runs.
    void setDelay(int milliseconds);

    // Misbehaviour on request, for tests and demos of what the command handler does about it.
    // "absent": gives up the bus name; "error": answers every call with a bus error; "nested",
    // "large", "fd": answers every call with a map holding a list nested as deep as the bus
    // carries, a text just below the bus's largest message, or a unix file descriptor;
    // "normal": behaves again. False for a mode it does not know.
    bool setFault(const QString& mode);

private:
    void answerWithFault();
    QString m_fault = QStringLiteral("normal");
    // End of misbehaviour.

protected:
    // One line per call, e.g. print-manager: feedLines(3); a fault set answers in place of the
    // method.
    void logCall(const char* method, const QVariantList& arguments = {});
    // Answers the call being served with the bus error com.vellorn.Error.InvalidArgument and
    // the reason, as a device's sibling refuses a request it cannot carry out; what the slot
    // then returns is not sent. Nothing when a fault set has answered already.
    void refuse(const QString& reason);

private:
    const Sibling& m_sibling;
    int m_delayMs = 0;
};
