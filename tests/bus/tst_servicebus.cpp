// The real service binary on a private system bus: the catalogue and a second instance, as a
// bus client meets them (rejections: tst_commandhandler; wrong signatures: tst_robustness).
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "TestBus.h"

#include <QTest>

#include <functional>

namespace {
const QString busName = QStringLiteral("com.vellorn.CommandHandler");
const QString readinessName = QStringLiteral("command-handler");

QStringList ids(const QVariant& list)
{
    QStringList result;
    for (const QVariant& element : list.toList()) {
        result << element.toMap().value(QStringLiteral("id")).toString();
    }
    return result;
}
} // namespace

class ServiceBusTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void categoriesSortedByKey();
    void commandsOfACategory();
    void secondInstanceKeepsRunningWithoutTheName();

private:
    TestBus m_bus;
    ServiceProcess* m_service = nullptr;
};

void ServiceBusTest::initTestCase()
{
    QVERIFY(m_bus.start());
    m_bus.markSiblingsReady();
    m_service = m_bus.startService({QStringLiteral("--unknown-argument"), QStringLiteral("x")});
    QVERIFY(m_bus.waitForBusName(busName));
    QVERIFY(m_bus.waitForReady(readinessName));
}

void ServiceBusTest::categoriesSortedByKey()
{
    const QVariantMap reply =
        m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}});
    QCOMPARE(reply.value("resultId"), QVariant("Success"));
    QCOMPARE(reply.value("errorId"), QVariant("Undefined"));
    QCOMPARE(ids(reply.value("commandCategories")),
             QStringList({"ConfigurationCommandId", "DocumentCommandId", "EmbossCommandId",
                          "IpcCommandId", "PaperFeedCommandId", "TestingCommandId"}));
    for (const QVariant& category : reply.value("commandCategories").toList()) {
        QVERIFY(!category.toMap().value("description").toString().isEmpty());
    }
}

void ServiceBusTest::commandsOfACategory()
{
    const QVariantMap reply = m_bus.process({{"commandId", "GetCommands"},
                                             {"senderId", "FrontPanel"},
                                             {"category", "PaperFeedCommandId"}});
    QCOMPARE(reply.value("resultId"), QVariant("Success"));
    const QVariantList commands = reply.value("commands").toList();
    QCOMPARE(ids(commands),
             QStringList({"CalibratePaper", "EjectPaper", "FeedLines", "GetPaperPosition",
                          "IsPaperLoaded", "LoadPaper", "SetPaperLength"}));
    const QVariantMap feedLines = commands.at(2).toMap();
    QCOMPARE(feedLines.value("argumentCount"), QVariant(1));
    QCOMPARE(feedLines.value("argumentTypes"),
             QVariant(QVariantList{QVariantMap{{"name", "lines"}, {"type", "int"}}}));
    QCOMPARE(commands.at(1).toMap().keys(), QStringList({"description", "id"}));
}

void ServiceBusTest::secondInstanceKeepsRunningWithoutTheName()
{
    // The running service's readiness holds at every check while the second one starts.
    bool alwaysReady = true;
    const auto readyWhile = [&](const std::function<bool()>& done) {
        return QTest::qWaitFor([&] {
            alwaysReady = alwaysReady && ServiceWatcher::isReady(readinessName);
            return done();
        });
    };
    ServiceProcess* second = m_bus.startService();
    QVERIFY2(readyWhile([&] {
                 return second->output().contains(
                     "Unable to register Service: Service-name already in use.");
             }),
             qPrintable(second->output()));
    QVERIFY(alwaysReady);
    // Still alive, and the first instance still owns the name and answers.
    QVERIFY(!second->waitForFinished(300));
    QCOMPARE(second->state(), QProcess::Running);
    QCOMPARE(m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "Speech"}})
                 .value("resultId"),
             QVariant("Success"));
    second->terminate();
    QVERIFY(readyWhile([&] { return second->state() == QProcess::NotRunning; }));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(alwaysReady);
    QVERIFY(ServiceWatcher::isReady(readinessName));
}

QTEST_GUILESS_MAIN(ServiceBusTest)
#include "tst_servicebus.moc"
