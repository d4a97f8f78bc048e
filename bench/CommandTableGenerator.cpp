#include "CommandTableGenerator.h"

#include "ls/Enums.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <iterator>

namespace {

const QString categories[] = {
    ls::CommandCategories::ConfigurationCommandId, ls::CommandCategories::PaperFeedCommandId,
    ls::CommandCategories::DocumentCommandId,      ls::CommandCategories::EmbossCommandId,
    ls::CommandCategories::TestingCommandId,       ls::CommandCategories::IpcCommandId,
};

QJsonObject argument(const QString& name, const QString& type)
{
    return {{ls::argumentNameKey, name}, {ls::argumentTypeKey, type}};
}

QJsonObject command(int index)
{
    const bool withArguments = index % 3 == 0;
    const QJsonArray arguments =
        withArguments ? QJsonArray{argument(QStringLiteral("lines"), QStringLiteral("int")),
                                   argument(QStringLiteral("label"), QStringLiteral("QString"))}
                      : QJsonArray{};
    return {{ls::categoryKey, CommandTableGenerator::categoryOf(index)},
            {ls::descriptionKey, QStringLiteral("Generated command number %1.").arg(index)},
            {ls::argumentCountKey, arguments.size()},
            {ls::argumentTypesKey, arguments},
            {QStringLiteral("function"), QStringLiteral("generated%1").arg(index)},
            {QStringLiteral("returnType"), QStringLiteral("void")}};
}

} // namespace

QString CommandTableGenerator::categoryOf(int index)
{
    return categories[index % categoryCount()];
}

int CommandTableGenerator::categoryCount()
{
    return static_cast<int>(std::size(categories));
}

QByteArray CommandTableGenerator::generate(int commandCount)
{
    QJsonObject table;
    for (const QString& category : categories) {
        table.insert(category, QJsonObject{{ls::descriptionKey, category + QStringLiteral(".")}});
    }
    for (int i = 0; i < commandCount; ++i) {
        // Zero-padded, so that the table's key order is the generation order.
        table.insert(QStringLiteral("Generated%1").arg(i, 5, 10, QLatin1Char('0')), command(i));
    }
    return QJsonDocument(table).toJson(QJsonDocument::Compact);
}
