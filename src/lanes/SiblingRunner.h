#pragma once

#include "Invocation.h"
#include "SiblingCall.h"

#include <QHash>
#include <QObject>
#include <QVariantMap>

struct Sibling;

namespace detail {
class ConfigurationManagerProxy;
class DocumentManagerProxy;
class PrintManagerProxy;
class SpeechProxy;
} // namespace detail

// Carries out the checked calls of one sibling and makes their replies. Owns that sibling's
// proxy, which owns its client; all three are made on the thread the runner is made on (its
// sibling's lane, or the handler's when no lanes run) and are used there only.
class SiblingRunner : public QObject
{
    Q_OBJECT
public:
    explicit SiblingRunner(const Sibling& sibling, QObject* parent = nullptr);

    QVariantMap run(const SiblingCall& call) const;

private:
    using Execution = QVariantMap (SiblingRunner::*)(const SiblingCall&,
                                                     detail::CallOutcome*) const;
    static const QHash<QString, Execution> executions;

    QVariantMap runPaperFeed(const SiblingCall& call, detail::CallOutcome* outcome) const;
    QVariantMap runIpc(const SiblingCall& call, detail::CallOutcome* outcome) const;
    QVariantMap runEmboss(const SiblingCall& call, detail::CallOutcome* outcome) const;
    QVariantMap runDocument(const SiblingCall& call, detail::CallOutcome* outcome) const;
    QVariantMap runConfiguration(const SiblingCall& call, detail::CallOutcome* outcome) const;
    QVariantMap runTesting(const SiblingCall& call, detail::CallOutcome* outcome) const;

    // Only the sibling's own proxy is made; the others stay null.
    detail::PrintManagerProxy* m_printManager = nullptr;
    detail::DocumentManagerProxy* m_documentManager = nullptr;
    detail::ConfigurationManagerProxy* m_configurationManager = nullptr;
    detail::SpeechProxy* m_speech = nullptr;
};
