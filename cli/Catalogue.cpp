#include "Catalogue.h"

#include "Category.h"
#include "CommandArguments.h"
#include "ls/Enums.h"

#include <QRegularExpression>

namespace {

const QString nameSuffix = QStringLiteral("CommandId");

QString nameOrEmpty(const ls::MetaEnum& enumeration, int number)
{
    const QString name = enumeration.key(number);
    return name == ls::undefinedKey ? QString() : name;
}

} // namespace

QVector<Catalogue::Entry> Catalogue::entries(const QVariantMap& reply, const QString& listKey,
                                             const ls::MetaEnum& enumeration)
{
    QVariantMap byId;
    const QVariantList listed = reply.value(listKey).toList();
    for (const QVariant& element : listed) {
        byId.insert(element.toMap().value(ls::idKey).toString(), element);
    }
    QVector<Entry> result;
    for (const ls::MetaEnum::Entry& named : enumeration) {
        QVariantMap element = byId.value(named.key).toMap();
        if (element.isEmpty()) {
            continue;
        }
        QVariantList arguments;
        const QVariantList listedArguments = element.value(ls::argumentTypesKey).toList();
        for (const QVariant& listed : listedArguments) {
            QVariantMap argument = listed.toMap();
            argument.insert(
                ls::argumentTypeKey,
                CommandArguments::typeName(argument.value(ls::argumentTypeKey).toString()));
            arguments.append(argument);
        }
        if (element.contains(ls::argumentTypesKey)) {
            element.insert(ls::argumentTypesKey, arguments);
        }
        element.insert(numberKey, named.value);
        result.append({named.value, named.key, element.value(ls::descriptionKey).toString(),
                       arguments, element});
    }
    return result;
}

QVariantMap Catalogue::withEntries(const QVariantMap& reply, const QString& listKey,
                                   const QVector<Entry>& entries)
{
    // A Failure reply has no list, and gets none.
    if (!reply.contains(listKey)) {
        return reply;
    }
    QVariantList list;
    for (const Entry& entry : entries) {
        list.append(entry.fields);
    }
    QVariantMap result = reply;
    result.insert(listKey, list);
    return result;
}

Catalogue::Lookup Catalogue::findCommand(const ServiceClient& client, int number, Entry* entry,
                                         ServiceClient::Answer* answer)
{
    const QString category = categoryOfCommand(number);
    if (category.isEmpty()) {
        return Lookup::missing;
    }
    *answer = client.commands(category);
    if (!answer->busError.isEmpty()) {
        return Lookup::noAnswer;
    }
    const QVector<Entry> commands = entries(answer->reply, ls::commandsKey, commandsOf(category));
    const Entry* found = find(commands, number);
    if (found == nullptr) {
        return Lookup::missing;
    }
    *entry = *found;
    return Lookup::found;
}

const Catalogue::Entry* Catalogue::find(const QVector<Entry>& entries, int number)
{
    for (const Entry& entry : entries) {
        if (entry.number == number) {
            return &entry;
        }
    }
    return nullptr;
}

QString Catalogue::categoryName(int number)
{
    return nameOrEmpty(ls::CommandCategories::meta, number);
}

QString Catalogue::commandName(int number)
{
    const Category* category = Category::holding(number);
    return category != nullptr ? category->commands.key(number) : QString();
}

bool Catalogue::mayLeaveArgumentsOut(int number)
{
    return commandName(number) == ls::IpcCommandId::IPCState;
}

QString Catalogue::categoryOfCommand(int number)
{
    const Category* category = Category::holding(number);
    return category != nullptr ? category->key : QString();
}

const ls::MetaEnum& Catalogue::commandsOf(const QString& category)
{
    if (const Category* found = Category::named(category)) {
        return found->commands;
    }
    static const ls::MetaEnum none{};
    return none;
}

QString Catalogue::resolveCategory(const QString& text)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber, 10);
    if (isNumber) {
        return categoryName(number);
    }
    for (const ls::MetaEnum::Entry& entry : ls::CommandCategories::meta) {
        if (entry.key.compare(text, Qt::CaseInsensitive) == 0 ||
            categoryWord(entry.key).compare(text, Qt::CaseInsensitive) == 0) {
            return entry.key;
        }
    }
    return {};
}

QStringList Catalogue::describedBy(const QVector<Entry>& categories, const QString& word)
{
    static const QRegularExpression notWord(QStringLiteral("\\W+"));
    QStringList found;
    for (const Entry& category : categories) {
        if (category.description.split(notWord, Qt::SkipEmptyParts)
                .contains(word, Qt::CaseInsensitive)) {
            found.append(category.id);
        }
    }
    return found;
}

bool Catalogue::commandNumber(const QString& text, int* number)
{
    bool isNumber = false;
    *number = text.toInt(&isNumber, 10);
    if (isNumber) {
        return true;
    }
    for (const Category& category : Category::all()) {
        for (const ls::MetaEnum::Entry& entry : category.commands) {
            if (entry.key.compare(text, Qt::CaseInsensitive) == 0) {
                *number = entry.value;
                return true;
            }
        }
    }
    return false;
}

QString Catalogue::categoryWord(const QString& category)
{
    return (category.endsWith(nameSuffix) ? category.chopped(nameSuffix.size()) : category)
        .toLower();
}
