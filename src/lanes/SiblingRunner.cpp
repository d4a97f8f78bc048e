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

QString noMethod(const SiblingCall& call)
{
    return QStringLiteral("the client of %1 has no method \"%2\"")
        .arg(call.sibling->busName, call.function);
}

QString noWay(const SiblingCall& call)
{
    return QStringLiteral("the service cannot run a %1 command of %2")
        .arg(call.resultType, call.category);
}

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
        return reply::failure(QStringLiteral("%1: %2").arg(label, noMethod(call)));
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
const QHash<QPair<QString, QString>, SiblingRunner::Way> SiblingRunner::ways = {
    {{ls::CommandCategories::PaperFeedCommandId, tableText::voidType},
     {&SiblingRunner::paperFeed, &PrintManager::offers}},
    {{ls::CommandCategories::PaperFeedCommandId, tableText::intType},
     {&SiblingRunner::paperFeedInt, &PrintManager::offers}},
    {{ls::CommandCategories::PaperFeedCommandId, tableText::boolType},
     {&SiblingRunner::paperFeedBool, &PrintManager::offers}},
    {{ls::CommandCategories::IpcCommandId, QString()}, {&SiblingRunner::ipc, nullptr}},
    {{ls::CommandCategories::EmbossCommandId, tableText::voidType},
     {&SiblingRunner::emboss, &DocumentManager::offers}},
    {{ls::CommandCategories::DocumentCommandId, tableText::voidType},
     {&SiblingRunner::document, &DocumentManager::offers}},
    {{ls::CommandCategories::DocumentCommandId, tableText::boolType},
     {&SiblingRunner::documentBool, &DocumentManager::offers}},
    {{ls::CommandCategories::DocumentCommandId, tableText::variantListType},
     {&SiblingRunner::documentList, &DocumentManager::offers}},
    {{ls::CommandCategories::ConfigurationCommandId, tableText::voidType},
     {&SiblingRunner::configuration, &ConfigurationManager::offers}},
    {{ls::CommandCategories::ConfigurationCommandId, tableText::variantMapType},
     {&SiblingRunner::configurationMap, &ConfigurationManager::offers}},
    {{ls::CommandCategories::ConfigurationCommandId, tableText::listType},
     {&SiblingRunner::configurationList, &ConfigurationManager::offers}},
    {{ls::CommandCategories::TestingCommandId, tableText::voidType},
     {&SiblingRunner::speech, &Speech::offers}},
};

SiblingRunner::SiblingRunner(QObject* parent) : QObject(parent) {}

bool SiblingRunner::runs(const QString& category, const QString& resultType)
{
    return ways.contains({category, resultType});
}

QString SiblingRunner::cannotRun(const SiblingCall& call)
{
    const auto way = ways.constFind({call.category, call.resultType});
    if (way == ways.constEnd()) {
        return noWay(call);
    }
    if (way->offers != nullptr && !way->offers(call.function)) {
        return noMethod(call);
    }
    return {};
}

QVariantMap SiblingRunner::run(const SiblingCall& call)
{
    const Execution execution = ways.value({call.category, call.resultType}).execution;
    if (execution == nullptr) {
        // The handler let it through, so the category's row and this table disagree.
        errorLine(call.origin) << "No way to run a" << call.resultType << "command of"
                               << call.category;
        return reply::failure(
            QStringLiteral("%1: %2").arg(Category::commandLabel(call.number), noWay(call)));
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
