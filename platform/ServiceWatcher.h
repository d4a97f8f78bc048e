#pragma once

#include <QString>

// Readiness registry shared by the device's services: one "<name>.ready" file per ready service
// in $SERVICE_WATCHER_DIR (default /run/service-watcher).
class ServiceWatcher
{
public:
    // True when the registry now says what was asked; false after a warning with the cause.
    static bool setReady(const QString& name, bool ready);
    static bool isReady(const QString& name);
    static QString directory();
    // Names are file names inside the directory; anything that could leave it is refused.
    static bool isValidName(const QString& name);
};
