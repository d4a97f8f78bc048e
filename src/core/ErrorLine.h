#pragma once

#include <QDebug>
#include <QString>

// The one way the service starts an error line: "<origin> ERROR: ...". The origin is the
// function that writes the line, or, where the line has always named another (the request's
// checks name the method that takes requests, the table's lines the handler's methods that once
// read it), that name, which the journal's readers and their filters know. Safe from any thread.
QDebug errorLine(const QString& origin);

// "<Class>::<method>": the qualified name of a function, cut out of its full signature.
QString functionName(const char* name, const char* signature);

// An error line named after the function that writes it: "CommandHandler::reload ERROR: ...".
#define CH_ERROR_LINE() errorLine(functionName(__func__, Q_FUNC_INFO))
