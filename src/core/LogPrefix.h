#pragma once

#include <QtGlobal>

#include <string>

// "<Class>::<method> <tag>": the qualified method name cut out of a full signature.
std::string logPrefix(const char* name, const char* signature, const char* tag);

// Starts an error line of the calling method: CommandHandler::process ERROR: ...
#define CH_LOG_ERROR() qCritical() << logPrefix(__func__, Q_FUNC_INFO, "ERROR:").c_str()
