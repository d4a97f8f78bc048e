#include "ServiceWatcher.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtDebug>

namespace {
QString readyFilePath(const QString& name)
{
    return QStringLiteral("%1/%2.ready").arg(ServiceWatcher::directory(), name);
}
} // namespace

QString ServiceWatcher::directory()
{
    const QString fromEnvironment = qEnvironmentVariable("SERVICE_WATCHER_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral("/run/service-watcher") : fromEnvironment;
}

bool ServiceWatcher::isValidName(const QString& name)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._-]+$"));
    return !name.startsWith(QLatin1Char('.')) && allowed.match(name).hasMatch();
}

bool ServiceWatcher::setReady(const QString& name, bool ready)
{
    if (!isValidName(name)) {
        qWarning() << "ServiceWatcher: refusing service name" << name;
        return false;
    }
    const QString path = readyFilePath(name);
    if (!ready) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            qWarning() << "ServiceWatcher: cannot mark" << name
                       << "not ready:" << file.errorString();
            return false;
        }
        return true;
    }
    if (!QDir().mkpath(directory())) {
        qWarning() << "ServiceWatcher: cannot create" << directory();
        return false;
    }
    // QSaveFile writes a temporary file and renames it, so readers never see a partial file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.commit()) {
        qWarning() << "ServiceWatcher: cannot mark" << name << "ready:" << file.errorString();
        return false;
    }
    return true;
}

bool ServiceWatcher::isReady(const QString& name)
{
    if (!isValidName(name)) {
        qWarning() << "ServiceWatcher: refusing service name" << name;
        return false;
    }
    return QFile::exists(readyFilePath(name));
}
