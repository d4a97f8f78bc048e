#include "CommandTable.h"

#include "ArgumentList.h"
#include "BusLimits.h"
#include "ErrorLine.h"
#include "TableTexts.h"
#include "ls/JFile.h"
#include "ls/Keys.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QtDebug>

namespace {

// The table's lines keep the names under which technicians have always found them in the log:
// the handler's methods that once read the table.
QDebug tableLine(const char* query)
{
    return errorLine(QStringLiteral("CommandHandler::") + QLatin1String(query));
}

// At most this many entries left out of the catalogue are logged one by one per load.
constexpr int maximumLeftOutLines = 100;

QString firstStateDirectory()
{
    return qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
}

// The command table's JSON nulls have no form on the bus; they are left out of what the
// catalogue copies from the table.
QVariant withoutNulls(const QVariant& value)
{
    if (!value.isValid() || value.userType() == QMetaType::Nullptr) {
        return {};
    }
    if (value.userType() == QMetaType::QVariantMap) {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            const QVariant kept = withoutNulls(it.value());
            if (kept.isValid()) {
                map.insert(it.key(), kept);
            }
        }
        return map;
    }
    if (value.userType() == QMetaType::QVariantList) {
        QVariantList list;
        for (const QVariant& element : value.toList()) {
            const QVariant kept = withoutNulls(element);
            if (kept.isValid()) {
                list.append(kept);
            }
        }
        return list;
    }
    return value;
}

// The device library's reader only says that a table could not be read; whoever edited it needs
// to know why, so the file is looked at once more.
QString whyUnreadable(const QString& path)
{
    // A pipe's contents are gone once read, and opening it again would wait for a writer.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        return QStringLiteral("not a regular file");
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.errorString();
    }
    const QByteArray contents = file.readAll();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(contents, &error);
    if (error.error != QJsonParseError::NoError) {
        // Qt's parser stops just past the character it could not take.
        const QByteArray before = contents.left(qMax(error.offset - 1, 0));
        const int line = before.count('\n') + 1;
        const int column = before.size() - before.lastIndexOf('\n');
        return QStringLiteral("line %1, column %2: %3")
            .arg(line)
            .arg(column)
            .arg(error.errorString());
    }
    if (!document.isObject()) {
        return QStringLiteral("not a JSON object");
    }
    // Read whole now: it changed under the reader.
    return QStringLiteral("the file changed while it was read");
}

} // namespace

QString CommandTable::path()
{
    static const QString path = QStringLiteral("%1/%2").arg(
        firstStateDirectory().isEmpty() ? tableText::directory : firstStateDirectory(),
        tableText::fileName);
    return path;
}

CommandTable::Loaded CommandTable::load(const QString& path)
{
    ls::JFile file(nullptr);
    auto table = std::make_shared<CommandTable>();
    // Opening a pipe would wait for a writer, holding up the start or, on a reload, every
    // request; a device or a directory is no table either.
    const QFileInfo info(path);
    if ((info.exists() && !info.isFile()) || !file.read(path, table->m_entries)) {
        const QString why = whyUnreadable(path);
        tableLine("initialize") << "reading" << path << "failed!";
        tableLine("initialize") << qUtf8Printable(why);
        return {nullptr, QStringLiteral("reading %1 failed: %2").arg(path, why)};
    }
    table->prepareCategories();
    table->prepareCommands();
    table->fitEachReply();
    if (table->m_leftOut > maximumLeftOutLines) {
        tableLine("initialize") << qUtf8Printable(
            QStringLiteral("%1 more entries were left out of the catalogue.")
                .arg(table->m_leftOut - maximumLeftOutLines));
    }
    return {table, {}};
}

int CommandTable::getArgumentCount(const ls::EnumKey& key) const
{
    const auto found = m_entries.constFind(key);
    if (found == m_entries.cend()) {
        tableLine("getArgumentCount") << "Parameter" << key << "not found!";
        return 0;
    }
    return getArgumentCount(found.value().toMap());
}

int CommandTable::getArgumentCount(const QVariantMap& entry)
{
    const auto count = entry.constFind(ls::argumentCountKey);
    if (count == entry.cend()) {
        tableLine("getArgumentCount") << "Parameter" << ls::argumentCountKey << "not found!";
        return 0;
    }
    return count.value().toInt();
}

// The entry of a key that has a description; nothing after the query's line when it lacks either.
std::optional<QVariantMap> CommandTable::describedEntry(const ls::EnumKey& key,
                                                        const char* query) const
{
    if (!m_entries.contains(key)) {
        tableLine(query) << "Parameter" << key << "not found!";
        return std::nullopt;
    }
    const QVariantMap entry = m_entries.value(key).toMap();
    if (!entry.contains(ls::descriptionKey)) {
        tableLine(query) << "Parameter" << ls::descriptionKey << "not found!";
        return std::nullopt;
    }
    return entry;
}

QString CommandTable::getDescription(const ls::EnumKey& key) const
{
    const std::optional<QVariantMap> entry = describedEntry(key, "getDescription");
    return entry ? entry->value(ls::descriptionKey).toString() : QString();
}

QString CommandTable::getArgumentsList(const ls::EnumKey& key) const
{
    const std::optional<QVariantMap> found = describedEntry(key, "getArgumentsList");
    if (!found) {
        return {};
    }
    const QVariantMap& entry = *found;
    if (entry.value(ls::argumentCountKey).toInt() == 0) {
        return {};
    }
    return ArgumentList::text(entry.value(ls::argumentTypesKey).toList());
}

QPair<QString, QString> CommandTable::getFunctionInfo(const ls::EnumKey& key) const
{
    if (!m_entries.contains(key)) {
        tableLine("getFunctionInfo") << "Parameter" << key << "not found!";
        return {};
    }
    const QVariantMap entry = m_entries.value(key).toMap();
    if (!entry.contains(tableText::returnType)) {
        tableLine("getFunctionInfo") << "Parameter" << tableText::returnType << "not found!";
        return {};
    }
    if (!entry.contains(tableText::function)) {
        tableLine("getFunctionInfo") << "Parameter" << tableText::function << "not found!";
        return {};
    }
    return {entry.value(tableText::returnType).toString(),
            entry.value(tableText::function).toString()};
}

QStringList CommandTable::argumentTypes(const ls::EnumKey& key) const
{
    QStringList types;
    const QVariantList arguments =
        m_entries.value(key).toMap().value(ls::argumentTypesKey).toList();
    for (const QVariant& argument : arguments) {
        types.append(argument.toMap().value(ls::argumentTypeKey).toString());
    }
    return types;
}

// The budget fitted at load is kept per category text, but a request's value matches under
// QVariant's conversions, and may match several of those groups at once (1 and " 1"): their sum
// is fitted here, in the table's order, so that the same request on the same table always leaves
// out the same entries.
QVariantList CommandTable::commandsOf(const QVariant& category) const
{
    QVariantList commands;
    qint64 replySize = 0;
    int leftOut = 0;
    for (const ListedCommand& listed : m_commands) {
        if (listed.category != category) {
            continue;
        }
        if (replyFrame + replySize + listed.size > BusLimits::maximumBodySize) {
            ++leftOut;
            continue;
        }
        if (!listed.entryWithoutCount.isEmpty()) {
            getArgumentCount(listed.entryWithoutCount);
        }
        replySize += listed.size;
        commands.append(listed.element);
    }
    if (leftOut > 0) {
        CH_ERROR_LINE() << qUtf8Printable(
            QStringLiteral("%1 commands left out of the reply: the categories the request names "
                           "together exceed what the bus carries in one message.")
                .arg(leftOut));
    }
    return commands;
}

// The catalogue's answers are prepared when the table is loaded: walking every entry of a large
// table on each request costs a cache miss or more per entry.
void CommandTable::prepareCategories()
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        if (entry.contains(ls::categoryKey)) {
            continue;
        }
        QVariantMap element{{ls::idKey, it.key()}};
        copyToCatalogue(element, it.key(), entry, ls::descriptionKey);
        m_categories.append(element);
    }
}

void CommandTable::prepareCommands()
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        const auto category = entry.constFind(ls::categoryKey);
        if (category == entry.cend()) {
            continue;
        }
        ++m_commandCount;
        ListedCommand listed{category.value(), {{ls::idKey, it.key()}}, {}, 0};
        copyToCatalogue(listed.element, it.key(), entry, ls::descriptionKey);
        if (!entry.contains(ls::argumentCountKey)) {
            listed.entryWithoutCount = entry;
        } else if (const int argumentCount = getArgumentCount(entry); argumentCount > 0) {
            listed.element.insert(ls::argumentCountKey, argumentCount);
            copyToCatalogue(listed.element, it.key(), entry, ls::argumentTypesKey);
        }
        listed.size = BusLimits::elementSize(listed.element);
        m_commands.append(listed);
    }
}

// A field the table lacks (or holds as null) is left out of a catalogue element rather than
// sent empty: an empty value cannot travel on the bus. So is one the bus could not carry in a
// reply: the bus would drop the service's connection, and marshalling a value nested far
// beyond the limit aborts the process.
void CommandTable::copyToCatalogue(QVariantMap& element, const ls::EnumKey& name,
                                   const QVariantMap& entry, const QString& field)
{
    const QVariant value = withoutNulls(entry.value(field));
    if (!value.isValid()) {
        return;
    }
    // Where the field sits in a catalogue reply.
    const QString problem =
        BusLimits::problem({{ls::commandsKey, QVariantList{QVariantMap{{field, value}}}}});
    if (!problem.isEmpty()) {
        if (mayReportLeftOut()) {
            CH_ERROR_LINE() << qUtf8Printable(
                QStringLiteral("%1 of \"%2\" left out of the catalogue: it %3.")
                    .arg(field, name, problem));
        }
        return;
    }
    element.insert(field, value);
}

// The categories make one reply, and each category's commands one reply of their own; an entry
// is left out only of the reply it would make larger than the bus carries.
void CommandTable::fitEachReply()
{
    qint64 size = 0;
    QVariantList categories;
    for (const QVariant& element : qAsConst(m_categories)) {
        const QVariantMap category = element.toMap();
        if (fitsInReply(category, BusLimits::elementSize(category), size)) {
            categories.append(element);
        }
    }
    m_categories = categories;
    // Keyed by the category as text: categories that only the text tells apart share a budget,
    // which leaves out more rather than too little.
    QHash<QString, qint64> sizeOfCategory;
    QVector<ListedCommand> commands;
    for (const ListedCommand& listed : qAsConst(m_commands)) {
        if (fitsInReply(listed.element, listed.size, sizeOfCategory[listed.category.toString()])) {
            commands.append(listed);
        }
    }
    m_commands = commands;
}

bool CommandTable::fitsInReply(const QVariantMap& element, qint64 size, qint64& replySize)
{
    if (replyFrame + replySize + size > BusLimits::maximumBodySize) {
        if (mayReportLeftOut()) {
            CH_ERROR_LINE() << qUtf8Printable(
                QStringLiteral("\"%1\" left out of the catalogue: the reply would exceed what "
                               "the bus carries in one message.")
                    .arg(element.value(ls::idKey).toString()));
        }
        return false;
    }
    replySize += size;
    return true;
}

bool CommandTable::mayReportLeftOut()
{
    return m_leftOut++ < maximumLeftOutLines;
}
