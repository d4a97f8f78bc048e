#pragma once

#include "CallCarrier.h"

#include <QObject>

class SiblingRunner;

// Carries out each call at once, on the caller's own thread, and answers with its reply: for a
// handler without lanes (tests, tools). Lives on, and is used from, the thread it is made on.
class DirectCarrier : public QObject, public CallCarrier
{
    Q_OBJECT
public:
    explicit DirectCarrier(QObject* parent = nullptr);

    std::optional<QVariantMap> carry(const SiblingCall& call, Completion completion) override;
    QString cannotRun(const SiblingCall& call) const override;

private:
    SiblingRunner* m_runner;
};
