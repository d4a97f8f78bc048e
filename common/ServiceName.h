#pragma once

#include <QString>

// The command handler's name on the system bus: the name the service owns and chctl calls.
inline const QString commandHandlerServiceName = QStringLiteral("com.vellorn.CommandHandler");
