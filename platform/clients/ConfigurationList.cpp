#include "ConfigurationList.h"

#include <QDBusMetaType>

void registerConfigurationList()
{
    // Callers look the type up by this name (a Q_RETURN_ARG of "ConfigurationList"), and the
    // bus needs the marshalling of the list and of its (sa{sv}) elements for the answer.
    qRegisterMetaType<ConfigurationList>("ConfigurationList");
    qDBusRegisterMetaType<QPair<QString, QVariantMap>>();
    qDBusRegisterMetaType<ConfigurationList>();
}
