#pragma once

#include <QVariant>
#include <QVariantMap>

namespace ls {

// Read-only, non-owning view of a request map; the map must outlive the handle.
class Command
{
public:
    explicit Command(const QVariantMap& request) : m_request(request) {}

    bool contains(const QString& key) const { return m_request.contains(key); }
    QVariant value(const QString& key) const { return m_request.value(key); }

private:
    const QVariantMap& m_request;
};

} // namespace ls
