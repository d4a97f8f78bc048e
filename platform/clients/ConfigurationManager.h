#pragma once

#include "ConfigurationList.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class SiblingLink;

namespace libconfigurationmanager::detail {

// Client of the configuration-manager sibling (com.vellorn.ConfigurationManager).
// A client lives on the thread that creates it and is used from there only; clients on other
// threads may call their siblings at the same time.
class ConfigurationManager : public QObject
{
    Q_OBJECT
public:
    explicit ConfigurationManager(QObject* parent = nullptr);
    ~ConfigurationManager() override;

    void setCheckConnection(bool check);
    // Why the last call did not complete (sibling, method and cause), empty when it did.
    QString lastCallFailure() const;

    Q_INVOKABLE QVariantMap getSettings();
    Q_INVOKABLE ConfigurationList getSettingsGroups();
    Q_INVOKABLE QVariantMap setSetting(QList<QVariant> args);
    Q_INVOKABLE ConfigurationList getSettingsGroup(QList<QVariant> args);
    Q_INVOKABLE void resetSettings();

signals:
    void connected();
    void disconnected();

private:
    SiblingLink* m_link = nullptr;
};

} // namespace libconfigurationmanager::detail
