#pragma once

#include <QString>

// Texts of the command table: its field names, its result and argument types and its place.
namespace tableText {

inline const QString function = QStringLiteral("function");
inline const QString returnType = QStringLiteral("returnType");
inline const QString notImplemented = QStringLiteral("notImplemented");
inline const QString voidType = QStringLiteral("void");
inline const QString intType = QStringLiteral("int");
inline const QString boolType = QStringLiteral("bool");
inline const QString textType = QStringLiteral("QString");
inline const QString variantMapType = QStringLiteral("QVariantMap");
inline const QString listType = QStringLiteral("QList");
inline const QString variantListType = QStringLiteral("QVariantList");
inline const QString directory = QStringLiteral("/var/lib/command-handler");
inline const QString fileName = QStringLiteral("commandTable.json");

} // namespace tableText
