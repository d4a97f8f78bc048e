#include "JFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace ls {

JFile::JFile(QObject* parent) : QObject(parent) {}

bool JFile::read(const QString& path, QVariantMap& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return false;
    }
    out = document.object().toVariantMap();
    return true;
}

} // namespace ls
