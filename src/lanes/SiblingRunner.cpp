#include "SiblingRunner.h"

#include "BusLimits.h"
#include "Category.h"
#include "ConfigurationManagerProxy.h"
#include "DocumentManagerProxy.h"
#include "ErrorLine.h"
#include "PrintManagerProxy.h"
#include "Reply.h"
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
    const QString label = Category::commandLabel(call.number);
    if (!outcome.invoked) {
        errorLine(call.origin) << "Backend method" << call.function << "cannot be called.";
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
        errorLine(call.origin).noquote() << why;
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

using PrintManager = detail::PrintManagerProxy;
using DocumentManager = detail::DocumentManagerProxy;
using ConfigurationManager = detail::ConfigurationManagerProxy;
using Speech = detail::SpeechProxy;

} // namespace

// Each result type a category's row names has its way here; see Category.
const QHash<QPair<QString, QString>, SiblingRunner::Execution> SiblingRunner::executions = {
    {{ls::CommandCategories::PaperFeedCommandId, tableText::voidType}, &SiblingRunner::paperFeed},
    {{ls::CommandCategories::PaperFeedCommandId, tableText::intType}, &SiblingRunner::paperFeedInt},
    {{ls::CommandCategories::PaperFeedCommandId, tableText::boolType},
     &SiblingRunner::paperFeedBool},
    {{ls::CommandCategories::IpcCommandId, QString()}, &SiblingRunner::ipc},
    {{ls::CommandCategories::EmbossCommandId, tableText::voidType}, &SiblingRunner::emboss},
    {{ls::CommandCategories::DocumentCommandId, tableText::voidType}, &SiblingRunner::document},
    {{ls::CommandCategories::DocumentCommandId, tableText::boolType}, &SiblingRunner::documentBool},
    {{ls::CommandCategories::DocumentCommandId, tableText::variantListType},
     &SiblingRunner::documentList},
    {{ls::CommandCategories::ConfigurationCommandId, tableText::voidType},
     &SiblingRunner::configuration},
    {{ls::CommandCategories::ConfigurationCommandId, tableText::variantMapType},
     &SiblingRunner::configurationMap},
    {{ls::CommandCategories::ConfigurationCommandId, tableText::listType},
     &SiblingRunner::configurationList},
    {{ls::CommandCategories::TestingCommandId, tableText::voidType}, &SiblingRunner::speech},
};

SiblingRunner::SiblingRunner(QObject* parent) : QObject(parent) {}

bool SiblingRunner::runs(const QString& category, const QString& resultType)
{
    return executions.contains({category, resultType});
}

QVariantMap SiblingRunner::run(const SiblingCall& call)
{
    const Execution execution = executions.value({call.category, call.resultType});
    if (execution == nullptr) {
        // The handler let it through, so the category's row and this table disagree.
        errorLine(call.origin) << "No way to run a" << call.resultType << "command of"
                               << call.category;
        return reply::failure(
            QStringLiteral("%1: the service cannot run a %2 command of %3")
                .arg(Category::commandLabel(call.number), call.resultType, call.category));
    }
    detail::CallOutcome outcome;
    const QVariantMap contribution = (this->*execution)(call, &outcome);
    return completeReply(contribution, outcome, call);
}

template <typename Proxy> const Proxy& SiblingRunner::proxy()
{
    auto* made = findChild<Proxy*>(QString(), Qt::FindDirectChildrenOnly);
    return made != nullptr ? *made : *new Proxy(this);
}

QVariantMap SiblingRunner::paperFeed(const SiblingCall& call, detail::CallOutcome* outcome)
{
    invoke(proxy<PrintManager>(), call, &PrintManager::paperFeedCmd, &PrintManager::paperFeedCmd,
           outcome);
    return {};
}

QVariantMap SiblingRunner::paperFeedInt(const SiblingCall& call, detail::CallOutcome* outcome)
{
    return answerDetails(call.function,
                         invoke(proxy<PrintManager>(), call, &PrintManager::paperFeedIntCmd,
                                &PrintManager::paperFeedIntCmd, outcome));
}

QVariantMap SiblingRunner::paperFeedBool(const SiblingCall& call, detail::CallOutcome* outcome)
{
    return answerDetails(call.function,
                         invoke(proxy<PrintManager>(), call, &PrintManager::paperFeedBoolCmd,
                                &PrintManager::paperFeedBoolCmd, outcome));
}

QVariantMap SiblingRunner::ipc(const SiblingCall& call, detail::CallOutcome* outcome)
{
    if (call.operation == SiblingCall::Operation::setIpcState) {
        return proxy<PrintManager>().setIPCState(call.ipcState, outcome);
    }
    return proxy<PrintManager>().runTestCmd(call.number, call.parameter, outcome);
}

QVariantMap SiblingRunner::emboss(const SiblingCall& call, detail::CallOutcome* outcome)
{
    return document(call, outcome);
}

QVariantMap SiblingRunner::document(const SiblingCall& call, detail::CallOutcome* outcome)
{
    invoke(proxy<DocumentManager>(), call, &DocumentManager::documentCmd,
           &DocumentManager::documentCmd, outcome);
    return {};
}

QVariantMap SiblingRunner::documentBool(const SiblingCall& call, detail::CallOutcome* outcome)
{
    return answerDetails(call.function,
                         invoke(proxy<DocumentManager>(), call, &DocumentManager::documentBoolCmd,
                                &DocumentManager::documentBoolCmd, outcome));
}

QVariantMap SiblingRunner::documentList(const SiblingCall& call, detail::CallOutcome* outcome)
{
    // The list query takes no arguments on the backend side, whatever the table counts.
    return {{ls::detailsListMapKey,
             proxy<DocumentManager>().documentListMapCmd(call.function, outcome)}};
}

QVariantMap SiblingRunner::configuration(const SiblingCall& call, detail::CallOutcome* outcome)
{
    // Commands without result take no arguments on the backend side.
    proxy<ConfigurationManager>().configurationCmd(call.function, outcome);
    return {};
}

QVariantMap SiblingRunner::configurationMap(const SiblingCall& call, detail::CallOutcome* outcome)
{
    return invoke(proxy<ConfigurationManager>(), call, &ConfigurationManager::configurationMapCmd,
                  &ConfigurationManager::configurationMapCmd, outcome);
}

QVariantMap SiblingRunner::configurationList(const SiblingCall& call, detail::CallOutcome* outcome)
{
    const QVariantMap details =
        invoke(proxy<ConfigurationManager>(), call, &ConfigurationManager::configurationListCmd,
               &ConfigurationManager::configurationListCmd, outcome);
    return details.isEmpty() ? QVariantMap() : QVariantMap{{ls::detailsMapKey, details}};
}

QVariantMap SiblingRunner::speech(const SiblingCall& call, detail::CallOutcome* outcome)
{
    invoke(proxy<Speech>(), call, &Speech::speechCmd, &Speech::speechCmd, outcome);
    return {};
}
