#include "IpcArguments.h"

#include "ArgumentConversion.h"
#include "ErrorText.h"
#include "ls/Keys.h"

IpcArguments::IpcArguments(const ls::Command& command)
    : m_given(command.contains(ls::argsKey)), m_list(QVariantList())
{
    const QVariant args = command.value(ls::argsKey);
    if (m_given && !args.canConvert<QVariantList>()) {
        m_list.reset();
    } else if (m_given) {
        m_list = qvariant_cast<QVariantList>(args);
    }
}

std::optional<bool> IpcArguments::state() const
{
    if (!m_list) {
        return std::nullopt;
    }
    return m_list->isEmpty() ? std::optional<bool>(true)
                             : ArgumentConversion::toBool(m_list->constFirst());
}

QString IpcArguments::refusal(const QString& expected) const
{
    if (!m_list) {
        return QStringLiteral("its arguments are no list");
    }
    return QStringLiteral("\"%1\" is no %2")
        .arg(errorText::shortened(m_list->value(0).toString()), expected);
}

std::optional<int> IpcArguments::testParameter(bool takesParameter) const
{
    if (!takesParameter || !m_given) {
        return 0;
    }
    if (!m_list) {
        return std::nullopt;
    }
    return m_list->isEmpty() ? 0 : ArgumentConversion::toInt(m_list->constFirst());
}
