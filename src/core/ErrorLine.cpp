#include "ErrorLine.h"

#include <string>

QDebug errorLine(const QString& origin)
{
    QDebug line = qCritical();
    line << qUtf8Printable(origin + QStringLiteral(" ERROR:"));
    return line;
}

QString functionName(const char* name, const char* signature)
{
    const std::string text(signature);
    const std::size_t position = text.find(name);
    if (position == std::string::npos) {
        // Lambdas and operators do not carry their plain name; the whole signature still
        // tells the reader where the line comes from.
        return QString::fromStdString(text);
    }
    const std::size_t blank = text.rfind(' ', position);
    const std::size_t begin = blank == std::string::npos ? 0 : blank + 1;
    const std::size_t end = text.find('(', position);
    return QString::fromStdString(
        text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
}
