#include "RequestBuilder.h"

#include "ls/Enums.h"
#include "ls/Keys.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QStringList>

namespace {

constexpr int maxDepth = 4;
constexpr int maxEntries = 6;

QStringList names(const ls::MetaEnum& meta)
{
    QStringList list;
    for (const ls::MetaEnum::Entry& entry : meta) {
        list.append(entry.key);
    }
    return list;
}

const QVector<int>& commandValues()
{
    static const QVector<int> values = [] {
        QVector<int> all;
        for (const ls::MetaEnum* meta :
             {&ls::ConfigurationCommandId::meta, &ls::PaperFeedCommandId::meta,
              &ls::DocumentCommandId::meta, &ls::EmbossCommandId::meta, &ls::TestingCommandId::meta,
              &ls::IpcCommandId::meta}) {
            for (const ls::MetaEnum::Entry& entry : *meta) {
                all.append(entry.value);
            }
        }
        return all;
    }();
    return values;
}

const QStringList& requestKeys()
{
    static const QStringList keys{ls::commandIdKey, ls::senderIdKey, ls::subCommandIdKey,
                                  ls::argsKey, ls::categoryKey};
    return keys;
}

} // namespace

RequestBuilder::RequestBuilder(FuzzedDataProvider& data) : m_data(data) {}

QVariantMap RequestBuilder::request()
{
    QVariantMap map;
    const int entries = m_data.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < entries && m_data.remaining_bytes() > 0; ++i) {
        const QString name = key();
        map.insert(name, fieldValue(name));
    }
    return map;
}

QString RequestBuilder::key()
{
    switch (m_data.ConsumeIntegralInRange(0, 7)) {
    case 0:
        return text();
    case 1:
        return ls::resultIdKey;
    case 2:
        return ls::errorIdKey;
    default:
        return pick(requestKeys());
    }
}

QVariant RequestBuilder::fieldValue(const QString& key)
{
    // One in four values of a known key is of any kind, so that wrong types reach it too.
    if (m_data.ConsumeIntegralInRange(0, 3) == 0) {
        return anyValue();
    }
    if (key == ls::commandIdKey) {
        return commandId();
    }
    if (key == ls::senderIdKey) {
        return sender();
    }
    if (key == ls::subCommandIdKey) {
        return subCommand();
    }
    if (key == ls::argsKey) {
        return arguments();
    }
    if (key == ls::categoryKey) {
        return category();
    }
    return anyValue();
}

QVariant RequestBuilder::commandId()
{
    static const QStringList ids = names(ls::CommandHandlerCmdId::meta);
    return pick(ids);
}

QVariant RequestBuilder::sender()
{
    static const QStringList senders = names(ls::ServiceId::meta);
    return pick(senders);
}

QVariant RequestBuilder::subCommand()
{
    const int known =
        commandValues().at(m_data.ConsumeIntegralInRange<int>(0, commandValues().size() - 1));
    switch (m_data.ConsumeIntegralInRange(0, 4)) {
    case 0:
        return QString::number(known);
    case 1:
        return m_data.ConsumeIntegral<int>();
    case 2:
        // Text that is a number only in part, with blanks or signs around it.
        return text() + QString::number(known);
    default:
        return known;
    }
}

QVariant RequestBuilder::arguments()
{
    if (m_data.ConsumeBool()) {
        return list(1);
    }
    QVariantList args;
    const int count = m_data.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
        args.append(scalar());
    }
    return args;
}

QVariant RequestBuilder::category()
{
    static const QStringList categories = names(ls::CommandCategories::meta);
    return pick(categories);
}

QVariant RequestBuilder::anyValue(int depth)
{
    --m_budget;
    const bool nest = depth < maxDepth && m_budget > 0;
    switch (m_data.ConsumeIntegralInRange(0, 9)) {
    case 0:
        return nest ? QVariant(list(depth + 1)) : QVariant();
    case 1:
        return nest ? QVariant(map(depth + 1)) : QVariant();
    case 2:
        return QStringList{text(), text()};
    default:
        return scalar();
    }
}

QVariant RequestBuilder::scalar()
{
    switch (m_data.ConsumeIntegralInRange(0, 9)) {
    case 0:
        return m_data.ConsumeIntegral<int>();
    case 1:
        return m_data.ConsumeIntegral<qlonglong>();
    case 2:
        return m_data.ConsumeIntegral<uint>();
    case 3:
        return m_data.ConsumeBool();
    case 4:
        return m_data.ConsumeFloatingPoint<double>();
    case 5: {
        const std::string bytes = m_data.ConsumeRandomLengthString(32);
        return QByteArray(bytes.data(), static_cast<int>(bytes.size()));
    }
    case 6:
        return QVariant();
    case 7:
        return commandValues().at(
            m_data.ConsumeIntegralInRange<int>(0, commandValues().size() - 1));
    default:
        return text();
    }
}

QVariantList RequestBuilder::list(int depth)
{
    QVariantList values;
    const int count = m_data.ConsumeIntegralInRange(0, maxEntries);
    for (int i = 0; i < count && m_budget > 0; ++i) {
        values.append(anyValue(depth));
    }
    return values;
}

QVariantMap RequestBuilder::map(int depth)
{
    QVariantMap values;
    const int count = m_data.ConsumeIntegralInRange(0, maxEntries);
    for (int i = 0; i < count && m_budget > 0; ++i) {
        values.insert(key(), anyValue(depth));
    }
    return values;
}

QString RequestBuilder::text()
{
    const std::string bytes = m_data.ConsumeRandomLengthString(48);
    switch (m_data.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return QString::fromLatin1(bytes.data(), static_cast<int>(bytes.size()));
    case 1:
        // Raw UTF-16, lone surrogates included.
        return QString(reinterpret_cast<const QChar*>(bytes.data()),
                       static_cast<int>(bytes.size() / 2));
    default:
        return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()));
    }
}

QString RequestBuilder::pick(const QStringList& names)
{
    return names.at(m_data.ConsumeIntegralInRange<int>(0, names.size() - 1));
}
