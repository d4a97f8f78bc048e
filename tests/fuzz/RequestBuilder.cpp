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

} // namespace

RequestBuilder::RequestBuilder(FuzzedDataProvider& data) : m_data(data) {}

const QVector<int>& RequestBuilder::commandValues()
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
    static const QStringList requestKeys{ls::commandIdKey, ls::senderIdKey, ls::subCommandIdKey,
                                         ls::argsKey, ls::categoryKey};
    switch (m_data.ConsumeIntegralInRange(0, 7)) {
    case 0:
        return text();
    case 1:
        return ls::resultIdKey;
    case 2:
        return ls::errorIdKey;
    default:
        return pick(requestKeys);
    }
}

QVariant RequestBuilder::fieldValue(const QString& key)
{
    static const QMap<QString, QStringList> validNames{
        {ls::commandIdKey, names(ls::CommandHandlerCmdId::meta)},
        {ls::senderIdKey, names(ls::ServiceId::meta)},
        {ls::categoryKey, names(ls::CommandCategories::meta)}};
    // One in four values of a known key is of any kind, so that wrong types reach it too.
    if (m_data.ConsumeIntegralInRange(0, 3) == 0) {
        return anyValue();
    }
    if (validNames.contains(key)) {
        return pick(validNames.value(key));
    }
    if (key == ls::subCommandIdKey) {
        return subCommand();
    }
    return key == ls::argsKey ? arguments() : anyValue();
}

QVariant RequestBuilder::subCommand()
{
    const int known = knownCommand();
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
        return container(1, false);
    }
    QVariantList args;
    const int count = m_data.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
        args.append(scalar());
    }
    return args;
}

QVariant RequestBuilder::anyValue(int depth)
{
    --m_budget;
    const bool nest = depth < maxDepth && m_budget > 0;
    const int kind = m_data.ConsumeIntegralInRange(0, 9);
    switch (kind) {
    case 0:
    case 1:
        return nest ? container(depth + 1, kind == 1) : QVariant();
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
    case 5:
        return QByteArray::fromStdString(m_data.ConsumeRandomLengthString(32));
    case 6:
        return QVariant();
    case 7:
        return knownCommand();
    default:
        return text();
    }
}

QVariant RequestBuilder::container(int depth, bool keyed)
{
    QVariantList list;
    QVariantMap map;
    const int count = m_data.ConsumeIntegralInRange(0, maxEntries);
    for (int i = 0; i < count && m_budget > 0; ++i) {
        if (keyed) {
            map.insert(key(), anyValue(depth));
        } else {
            list.append(anyValue(depth));
        }
    }
    return keyed ? QVariant(map) : QVariant(list);
}

int RequestBuilder::knownCommand()
{
    return commandValues().at(m_data.ConsumeIntegralInRange<int>(0, commandValues().size() - 1));
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
