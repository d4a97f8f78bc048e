#include "IpcArguments.h"

#include "ArgumentConversion.h"
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
