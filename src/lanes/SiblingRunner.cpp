#include "SiblingRunner.h"

#include "BusLimits.h"
#include "CategoryEnumerations.h"
#include "ConfigurationManagerProxy.h"
#include "DocumentManagerProxy.h"
#include "PrintManagerProxy.h"
#include "Reply.h"
#include "Siblings.h"
#include "SpeechProxy.h"
#include "TableTexts.h"
#include "ls/Enums.h"

#include <QtDebug>

namespace {

// A bool or int answer reaches the caller under the backend method's name.
QVariantMap answerDetails(const QString& function, const QVariant& answer)
{
    return {{ls::detailsMapKey, QVariantMap{{function, answer}}}};
}

// A backend call that did not complete fails the command: a method the client does not offer
// (logged here), or a sibling call that failed (the client library has logged why). One that
// completed keeps whatever it contributed, even false or an empty map, unless the bus could not
// carry the reply.
QVariantMap completeReply(QVariantMap answer, const detail::CallOutcome& outcome,
                          const SiblingCall& call)
{
    const char* prefix = call.logPrefix.c_str();
    const QString label = commandLabel(call.number);
    if (!outcome.invoked) {
        qCritical() << prefix << "Backend method" << call.function << "cannot be called.";
        return reply::failure(QStringLiteral("%1: the client of %2 has no method \"%3\"")
                                  .arg(label, call.sibling->busName, call.function));
    }
    if (!outcome.failure.isEmpty()) {
        return reply::failure(QStringLiteral("%1: %2").arg(label, outcome.failure));
    }
    answer.insert(ls::resultIdKey, ls::ResultId::Success);
    answer.insert(ls::errorIdKey, ls::undefinedKey);
    const QString problem = BusLimits::problem(answer);
    if (!problem.isEmpty()) {
        const QString why =
            QStringLiteral("The answer of %1 is not passed on: it %2.").arg(call.function, problem);
        qCritical().noquote() << prefix << why;
        return reply::failure(QStringLiteral("%1: %2").arg(label, why));
    }
    return answer;
}

// Commands without arguments go to the proxy overload that passes none.
template <typename Proxy, typename Result>
Result invoke(const Proxy& proxy, const SiblingCall& call,
              Result (Proxy::*plain)(const QString&, detail::CallOutcome*) const,
              Result (Proxy::*withArgs)(const QString&, const QList<QVariant>&,
                                        detail::CallOutcome*) const,
              detail::CallOutcome* outcome)
{
    if (!call.withArguments) {
        return (proxy.*plain)(call.function, outcome);
    }
    return (proxy.*withArgs)(call.function, call.args, outcome);
}

} // namespace

const QHash<QString, SiblingRunner::Execution> SiblingRunner::executions = {
    {ls::CommandCategories::PaperFeedCommandId, &SiblingRunner::runPaperFeed},
    {ls::CommandCategories::IpcCommandId, &SiblingRunner::runIpc},
    {ls::CommandCategories::EmbossCommandId, &SiblingRunner::runEmboss},
    {ls::CommandCategories::DocumentCommandId, &SiblingRunner::runDocument},
    {ls::CommandCategories::ConfigurationCommandId, &SiblingRunner::runConfiguration},
    {ls::CommandCategories::TestingCommandId, &SiblingRunner::runTesting},
};

SiblingRunner::SiblingRunner(const Sibling& sibling, QObject* parent) : QObject(parent)
{
    if (&sibling == &siblings::of(siblings::printManager)) {
        m_printManager = new detail::PrintManagerProxy(this);
    } else if (&sibling == &siblings::of(siblings::documentManager)) {
        m_documentManager = new detail::DocumentManagerProxy(this);
    } else if (&sibling == &siblings::of(siblings::configurationManager)) {
        m_configurationManager = new detail::ConfigurationManagerProxy(this);
    } else if (&sibling == &siblings::of(siblings::speech)) {
        m_speech = new detail::SpeechProxy(this);
    }
}

QVariantMap SiblingRunner::run(const SiblingCall& call) const
{
    detail::CallOutcome outcome;
    const QVariantMap contribution = (this->*executions.value(call.category))(call, &outcome);
    return completeReply(contribution, outcome, call);
}

QVariantMap SiblingRunner::runPaperFeed(const SiblingCall& call, detail::CallOutcome* outcome) const
{
    using Proxy = detail::PrintManagerProxy;
    const Proxy& proxy = *m_printManager;
    if (call.resultType == tableText::intType) {
        return answerDetails(call.function, invoke(proxy, call, &Proxy::paperFeedIntCmd,
                                                   &Proxy::paperFeedIntCmd, outcome));
    }
    if (call.resultType == tableText::boolType) {
        return answerDetails(call.function, invoke(proxy, call, &Proxy::paperFeedBoolCmd,
                                                   &Proxy::paperFeedBoolCmd, outcome));
    }
    invoke(proxy, call, &Proxy::paperFeedCmd, &Proxy::paperFeedCmd, outcome);
    return {};
}

QVariantMap SiblingRunner::runIpc(const SiblingCall& call, detail::CallOutcome* outcome) const
{
    if (call.operation == SiblingCall::Operation::setIpcState) {
        return m_printManager->setIPCState(call.ipcState, outcome);
    }
    return m_printManager->runTestCmd(call.number, call.parameter, outcome);
}

QVariantMap SiblingRunner::runEmboss(const SiblingCall& call, detail::CallOutcome* outcome) const
{
    using Proxy = detail::DocumentManagerProxy;
    invoke(*m_documentManager, call, &Proxy::documentCmd, &Proxy::documentCmd, outcome);
    return {};
}

QVariantMap SiblingRunner::runDocument(const SiblingCall& call, detail::CallOutcome* outcome) const
{
    using Proxy = detail::DocumentManagerProxy;
    const Proxy& proxy = *m_documentManager;
    if (call.resultType == tableText::boolType) {
        return answerDetails(call.function, invoke(proxy, call, &Proxy::documentBoolCmd,
                                                   &Proxy::documentBoolCmd, outcome));
    }
    if (call.resultType == tableText::variantListType) {
        // The list query takes no arguments on the backend side, whatever the table counts.
        return {{ls::detailsListMapKey, proxy.documentListMapCmd(call.function, outcome)}};
    }
    invoke(proxy, call, &Proxy::documentCmd, &Proxy::documentCmd, outcome);
    return {};
}

QVariantMap SiblingRunner::runConfiguration(const SiblingCall& call,
                                            detail::CallOutcome* outcome) const
{
    using Proxy = detail::ConfigurationManagerProxy;
    const Proxy& proxy = *m_configurationManager;
    if (call.resultType == tableText::variantMapType) {
        return invoke(proxy, call, &Proxy::configurationMapCmd, &Proxy::configurationMapCmd,
                      outcome);
    }
    if (call.resultType == tableText::listType) {
        const QVariantMap details = invoke(proxy, call, &Proxy::configurationListCmd,
                                           &Proxy::configurationListCmd, outcome);
        return details.isEmpty() ? QVariantMap() : QVariantMap{{ls::detailsMapKey, details}};
    }
    // Commands without result take no arguments on the backend side.
    proxy.configurationCmd(call.function, outcome);
    return {};
}

QVariantMap SiblingRunner::runTesting(const SiblingCall& call, detail::CallOutcome* outcome) const
{
    using Proxy = detail::SpeechProxy;
    invoke(*m_speech, call, &Proxy::speechCmd, &Proxy::speechCmd, outcome);
    return {};
}
