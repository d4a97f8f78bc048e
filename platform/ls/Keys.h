#pragma once

#include <QString>

// Map keys and shared values of the device's service library.
namespace ls {

inline const QString commandIdKey = QStringLiteral("commandId");
inline const QString subCommandIdKey = QStringLiteral("subCommandId");
inline const QString senderIdKey = QStringLiteral("senderId");
inline const QString argsKey = QStringLiteral("args");
inline const QString resultIdKey = QStringLiteral("resultId");
inline const QString errorIdKey = QStringLiteral("errorId");
inline const QString detailsMapKey = QStringLiteral("detailsMap");
inline const QString detailsListMapKey = QStringLiteral("detailsListMap");
inline const QString categoryKey = QStringLiteral("category");
inline const QString idKey = QStringLiteral("id");
inline const QString descriptionKey = QStringLiteral("description");
inline const QString commandCategoriesKey = QStringLiteral("commandCategories");
inline const QString commandsKey = QStringLiteral("commands");
inline const QString argumentCountKey = QStringLiteral("argumentCount");
inline const QString argumentTypesKey = QStringLiteral("argumentTypes");
inline const QString argumentNameKey = QStringLiteral("name");
inline const QString argumentTypeKey = QStringLiteral("type");
inline const QString actionIdKey = QStringLiteral("actionId");
inline const QString notificationIdKey = QStringLiteral("notificationId");

inline const QString undefinedKey = QStringLiteral("Undefined");
constexpr int invalidEnumValue = -2147483647 - 1;

} // namespace ls
