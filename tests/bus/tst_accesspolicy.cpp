// The service's bus access policy, loaded by the private bus exactly as installed: root owns
// the name and may call, members of the group cmdhandler may call, everyone else is refused by
// the bus itself. Clients of other users are real gdbus processes started under setpriv.
#include "ServiceProcess.h"
#include "TestBus.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <grp.h>
#include <unistd.h>

namespace {
const QString groupName = QStringLiteral("cmdhandler");
const QString nobody = QStringLiteral("65534");

struct ClientResult {
    int exitCode;
    QString output;
};
} // namespace

class AccessPolicyTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rootIsAnswered();
    void callers_data();
    void callers();
    void onlyRootMayOwnTheName();

private:
    ClientResult runAs(const QStringList& identity, const QStringList& command) const;
    QStringList gdbusCall(const QString& destination, const QString& path, const QString& method,
                          const QString& argument) const;
    QStringList processCall() const;

    TestBus m_bus;
    QString m_groupId;
};

void AccessPolicyTest::initTestCase()
{
    if (geteuid() != 0) {
        QSKIP("needs root to start clients as other users");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
        QSKIP("needs setpriv (util-linux)");
    }
    // The bus resolves the policy's group name when it loads its configuration; on a device
    // the group comes with the package (sysusers.d).
    if (getgrnam("cmdhandler") == nullptr) {
        QCOMPARE(QProcess::execute(QStringLiteral("groupadd"), {"--system", groupName}), 0);
    }
    const group* entry = getgrnam("cmdhandler");
    QVERIFY(entry != nullptr);
    m_groupId = QString::number(entry->gr_gid);

    QVERIFY(m_bus.start());
    m_bus.markSiblingsReady();
    m_bus.startService();
    QVERIFY(m_bus.waitForBusName(QStringLiteral("com.vellorn.CommandHandler")));
}

QStringList AccessPolicyTest::gdbusCall(const QString& destination, const QString& path,
                                        const QString& method, const QString& argument) const
{
    return QStringList{"gdbus", "call", "--address", m_bus.address(), "-d", destination,
                       "-o",    path,   "-m"} +
           QStringList{method, argument};
}

QStringList AccessPolicyTest::processCall() const
{
    return gdbusCall("com.vellorn.CommandHandler", "/", "com.vellorn.CommandHandler.process",
                     "{'commandId': <'GetCommandCategories'>, 'senderId': <'WebServer'>}");
}

ClientResult AccessPolicyTest::runAs(const QStringList& identity, const QStringList& command) const
{
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.setWorkingDirectory(QStringLiteral("/"));
    client.start(QStringLiteral("setpriv"), identity + QStringList{QStringLiteral("--")} + command);
    if (!client.waitForFinished(15000)) {
        client.kill();
        client.waitForFinished();
        return {-1, QStringLiteral("timed out")};
    }
    return {client.exitCode(), QString::fromUtf8(client.readAll())};
}

void AccessPolicyTest::rootIsAnswered()
{
    QCOMPARE(m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}})
                 .value("resultId"),
             QVariant("Success"));
    const ClientResult result = runAs({QStringLiteral("--reuid=0")}, processCall());
    QVERIFY2(result.exitCode == 0 && result.output.contains("'Success'"),
             qPrintable(result.output));
}

void AccessPolicyTest::callers_data()
{
    QTest::addColumn<bool>("inGroup");
    QTest::addColumn<bool>("answered");
    QTest::newRow("unprivileged user outside the group") << false << false;
    QTest::newRow("member of the group") << true << true;
}

void AccessPolicyTest::callers()
{
    QFETCH(bool, inGroup);
    QFETCH(bool, answered);
    QStringList identity{QStringLiteral("--reuid=") + nobody, QStringLiteral("--regid=") + nobody};
    identity << (inGroup ? QStringLiteral("--groups=") + m_groupId
                         : QStringLiteral("--clear-groups"));
    const ClientResult result = runAs(identity, processCall());
    if (answered) {
        QVERIFY2(result.exitCode == 0 && result.output.contains("'Success'"),
                 qPrintable(result.output));
    } else {
        QVERIFY2(result.exitCode != 0 &&
                     result.output.contains("org.freedesktop.DBus.Error.AccessDenied"),
                 qPrintable(result.output));
    }
}

void AccessPolicyTest::onlyRootMayOwnTheName()
{
    const QStringList requestName =
        gdbusCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                  "org.freedesktop.DBus.RequestName", "com.vellorn.CommandHandler") +
        QStringList{"4"};
    const ClientResult member =
        runAs({QStringLiteral("--reuid=") + nobody, QStringLiteral("--regid=") + nobody,
               QStringLiteral("--groups=") + m_groupId},
              requestName);
    QVERIFY2(member.output.contains("org.freedesktop.DBus.Error.AccessDenied"),
             qPrintable(member.output));
}

QTEST_GUILESS_MAIN(AccessPolicyTest)
#include "tst_accesspolicy.moc"
