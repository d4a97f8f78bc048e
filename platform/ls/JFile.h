#pragma once

#include <QObject>
#include <QVariantMap>

namespace ls {

// Reads one JSON object from a file.
class JFile : public QObject
{
    Q_OBJECT
public:
    explicit JFile(QObject* parent = nullptr);

    // False when the file is missing, unreadable, not JSON or not an object; out is then left
    // untouched.
    virtual bool read(const QString& path, QVariantMap& out);
};

} // namespace ls
