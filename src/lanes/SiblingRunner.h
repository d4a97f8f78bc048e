#pragma once

#include "Invocation.h"
#include "SiblingCall.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QVariantMap>

// Carries out checked calls on their sibling's proxy and makes their replies. A proxy, and the
// client it owns, is made on the first call that needs it, as the runner's child; the runner, its
// proxies and their clients live on the thread the runner is made on (a sibling's lane, or the
// caller's for the direct carrier) and are used there only.
class SiblingRunner : public QObject
{
    Q_OBJECT
public:
    explicit SiblingRunner(QObject* parent = nullptr);

    QVariantMap run(const SiblingCall& call);

    // Whether a call of the category with that result type can run here: every result type a
    // category takes has its way.
    static bool runs(const QString& category, const QString& resultType);
    // Empty when the call could run; otherwise why not, in the words its failure would use:
    // no way for its result type, or a method its sibling's client does not offer.
    static QString cannotRun(const SiblingCall& call);

private:
    using Execution = QVariantMap (SiblingRunner::*)(const SiblingCall&, detail::CallOutcome*);
    struct Way {
        Execution execution;
        // Whether the proxy's client has the operation a call names.
        bool (*offers)(const QString& name);
    };
    // By category and result type; a category of fixed operations has no result types.
    static const QHash<QPair<QString, QString>, Way> ways;

    template <typename Proxy> const Proxy& proxy();

    QVariantMap paperFeed(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap paperFeedInt(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap paperFeedBool(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap ipc(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap emboss(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap document(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap documentBool(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap documentList(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap configuration(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap configurationMap(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap configurationList(const SiblingCall& call, detail::CallOutcome* outcome);
    QVariantMap speech(const SiblingCall& call, detail::CallOutcome* outcome);
};
