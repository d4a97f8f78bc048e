#include "TableCheck.h"

#include "CallCarrier.h"
#include "Category.h"
#include "CommandTable.h"
#include "TableTexts.h"
#include "ls/Keys.h"

#include <QVector>
#include <QtDebug>

#include <algorithm>
#include <numeric>

namespace {

const QString linePrefix = QStringLiteral("Command table: ");

// A misspelt name is a letter or two away from the one meant.
constexpr int misspeltDistance = 2;

QString cannotWork(const QString& name, const QString& why)
{
    return linePrefix + QStringLiteral("\"%1\" cannot work: %2").arg(name, why);
}

int editDistance(const QString& a, const QString& b)
{
    QVector<int> previous(b.size() + 1);
    std::iota(previous.begin(), previous.end(), 0);
    for (int i = 1; i <= a.size(); ++i) {
        QVector<int> current(b.size() + 1);
        current[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        previous = current;
    }
    return previous[b.size()];
}

// The command of the category the table lacks and the name most likely meant; empty for none.
QString meantCommand(const QString& name, const Category& category, const QStringList& lacking)
{
    for (const QString& candidate : lacking) {
        if (category.commands.hasKey(candidate) &&
            editDistance(name.toLower(), candidate.toLower()) <= misspeltDistance) {
            return candidate;
        }
    }
    return {};
}

QString countProblem(const QVariantMap& entry)
{
    const int count = entry.value(ls::argumentCountKey).toInt();
    const int types = entry.value(ls::argumentTypesKey).toList().size();
    if (count == types) {
        return {};
    }
    return QStringLiteral("it counts %1 argument(s) and gives the types of %2")
        .arg(count)
        .arg(types);
}

// Why the command of a known category cannot run as the table describes it.
QString callProblem(const QVariantMap& entry, const Category& category, const CallCarrier& carrier)
{
    if (!entry.contains(tableText::function) || !entry.contains(tableText::returnType)) {
        return QStringLiteral("it names no %1")
            .arg(entry.contains(tableText::function) ? tableText::returnType : tableText::function);
    }
    SiblingCall call;
    call.function = entry.value(tableText::function).toString();
    call.resultType = entry.value(tableText::returnType).toString();
    // Refused on purpose when called; and the fixed operations name no method of the table.
    if (call.function == tableText::notImplemented || category.resultTypes.isEmpty()) {
        return {};
    }
    if (!category.resultTypes.contains(call.resultType)) {
        return QStringLiteral("%1 takes no result type \"%2\" (it takes %3)")
            .arg(category.key, call.resultType, category.resultTypes.join(QStringLiteral(", ")));
    }
    call.category = category.key;
    call.sibling = &category.carrier();
    return carrier.cannotRun(call);
}

QStringList lackingCommands(const QVariantMap& entries)
{
    QStringList lacking;
    for (const Category& category : Category::all()) {
        for (const ls::MetaEnum::Entry& command : category.commands) {
            if (!entries.contains(command.key)) {
                lacking.append(command.key);
            }
        }
    }
    return lacking;
}

// Each name in the list is a command of one of the categories.
QString lackingLine(const QString& name)
{
    const auto category =
        std::find_if(Category::all().cbegin(), Category::all().cend(),
                     [&name](const Category& row) { return row.commands.hasKey(name); });
    return linePrefix +
           QStringLiteral("no entry for %1 of %2: the command is refused")
               .arg(Category::commandLabel(category->commands.value(name)), category->key);
}

// Why an entry filed under a category cannot work; empty when it can. A misspelt name is taken
// for the lacking command it was meant as, which then has no line of its own.
QString entryProblem(const QString& name, const QVariantMap& entry, QStringList& lacking,
                     const CallCarrier& carrier)
{
    const QString categoryName = entry.value(ls::categoryKey).toString();
    const Category* category = Category::named(categoryName);
    if (category == nullptr) {
        return QStringLiteral("its category \"%1\" is no category of the service")
            .arg(categoryName);
    }
    if (!category->commands.hasKey(name)) {
        QString why = QStringLiteral("it is no command of %1").arg(category->key);
        if (const QString meant = meantCommand(name, *category, lacking); !meant.isEmpty()) {
            why += QStringLiteral(", which lacks \"%1\"").arg(meant);
            lacking.removeOne(meant);
        }
        return why;
    }
    if (const QString why = countProblem(entry); !why.isEmpty()) {
        return why;
    }
    return callProblem(entry, *category, carrier);
}

} // namespace

QStringList TableCheck::problems(const CommandTable& table, const CallCarrier& carrier)
{
    const QVariantMap& entries = table.entries();
    if (table.commandCount() == 0) {
        return {linePrefix + QStringLiteral("it holds no commands: every command is refused")};
    }
    QStringList lacking = lackingCommands(entries);
    QStringList lines;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        if (!entry.contains(ls::categoryKey)) {
            continue;
        }
        if (const QString why = entryProblem(it.key(), entry, lacking, carrier); !why.isEmpty()) {
            lines.append(cannotWork(it.key(), why));
        }
    }
    for (const QString& name : qAsConst(lacking)) {
        lines.append(lackingLine(name));
    }
    return lines;
}

void TableCheck::report(const QStringList& problems)
{
    for (const QString& line : problems.mid(0, maximumLines)) {
        qWarning().noquote() << line;
    }
    if (problems.size() > maximumLines) {
        qWarning().noquote()
            << linePrefix + QStringLiteral("%1 more problems").arg(problems.size() - maximumLines);
    }
}
