#include "ConfigurationManager.h"
#include "DocumentManager.h"
#include "LogCapture.h"
#include "PrintManager.h"
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "SiblingLink.h"
#include "Speech.h"
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QtTest>

#include <csignal>

using libconfigurationmanager::detail::ConfigurationManager;
using libdocumentmanager::detail::DocumentManager;
using libprintmanager::detail::PrintManager;
using libspeech::detail::Speech;

namespace {
// Far below the bus's own 25 s default, far above a healthy call.
constexpr qint64 failureBoundMs = 10000;

const QStringList siblings = {QStringLiteral("print-manager"), QStringLiteral("document-manager"),
                              QStringLiteral("configuration-manager"), QStringLiteral("speech")};

const QHash<QString, QString> busNames = {
    {QStringLiteral("print-manager"), QStringLiteral("com.vellorn.PrintManager")},
    {QStringLiteral("document-manager"), QStringLiteral("com.vellorn.DocumentManager")},
    {QStringLiteral("configuration-manager"), QStringLiteral("com.vellorn.ConfigurationManager")},
    {QStringLiteral("speech"), QStringLiteral("com.vellorn.Speech")}};
} // namespace

// The clients against real simulator processes on a private bus, called the way the service's
// proxies call them: by name through the meta-object system.
class tst_SiblingClients : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void documentsStayMarshalled();
    void callsByName_data();
    void callsByName();
    void printManagerTypedCalls();
    void configurationGroupsRoundTrip();
    void failedCallWarnsOnce_data();
    void failedCallWarnsOnce();
    void siblingStopAndRestart();
    void hungSiblingTimesOut();
    void simulatorRefusesToStart_data();
    void simulatorRefusesToStart();

private:
    QVariantMap siblingState(const QString& service) const;
    ServiceProcess* startSibling(const QString& sibling);

    TestBus m_bus;
    QHash<QString, ServiceProcess*> m_processes;
    QHash<QString, QObject*> m_clients;
};

void tst_SiblingClients::initTestCase()
{
    QVERIFY(m_bus.start());
    for (const QString& sibling : siblings) {
        QVERIFY(startSibling(sibling) != nullptr);
    }
    m_clients.insert(QStringLiteral("print-manager"), new PrintManager(this));
    m_clients.insert(QStringLiteral("document-manager"), new DocumentManager(this));
    m_clients.insert(QStringLiteral("configuration-manager"), new ConfigurationManager(this));
    m_clients.insert(QStringLiteral("speech"), new Speech(this));
}

ServiceProcess* tst_SiblingClients::startSibling(const QString& sibling)
{
    ServiceProcess* process = m_bus.startSibling(sibling);
    m_processes.insert(sibling, process);
    const QString readiness =
        sibling == QLatin1String("speech") ? QStringLiteral("speechd") : sibling;
    return m_bus.waitForReady(readiness) ? process : nullptr;
}

QVariantMap tst_SiblingClients::siblingState(const QString& service) const
{
    const QDBusMessage reply = m_bus.connection().call(QDBusMessage::createMethodCall(
        service, QStringLiteral("/"), service, QStringLiteral("state")));
    return reply.arguments().isEmpty()
               ? QVariantMap()
               : libpivra::dbusValueUnpack(reply.arguments().constFirst()).toMap();
}

void tst_SiblingClients::documentsStayMarshalled()
{
    QVariantMap answer;
    QVERIFY(QMetaObject::invokeMethod(m_clients.value(QStringLiteral("document-manager")),
                                      "documents", Qt::DirectConnection,
                                      Q_RETURN_ARG(QVariantMap, answer)));
    QCOMPARE(answer.keys(), QStringList{QStringLiteral("documents")});
    const QVariant list = answer.value(QStringLiteral("documents"));
    QCOMPARE(list.userType(), qMetaTypeId<QDBusArgument>());

    // One step at a time, as the document proxy unpacks it: av, then each variant's a{sv}.
    QStringList ids;
    const QDBusArgument array = list.value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        QVariant element;
        array >> element;
        QCOMPARE(element.userType(), qMetaTypeId<QDBusArgument>());
        const QVariantMap document = qdbus_cast<QVariantMap>(element);
        QVERIFY(!document.value(QStringLiteral("name")).toString().isEmpty());
        QVERIFY(document.value(QStringLiteral("pages")).toInt() > 0);
        ids.append(document.value(QStringLiteral("id")).toString());
    }
    array.endArray();
    QCOMPARE(ids, (QStringList{QStringLiteral("doc-1"), QStringLiteral("doc-2"),
                               QStringLiteral("doc-3")}));
}

void tst_SiblingClients::callsByName_data()
{
    QTest::addColumn<QString>("sibling");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QVariant>("expectedResult"); // invalid: the method returns nothing
    QTest::addColumn<QString>("stateKey");
    QTest::addColumn<QVariant>("expectedState");

    // The rows run in order against one simulator each, so later rows see earlier changes.
    const QString pm = QStringLiteral("print-manager");
    QTest::newRow("ejectPaper") << pm << QByteArray("ejectPaper") << QVariantList{} << QVariant()
                                << "paperLoaded" << QVariant(false);
    QTest::newRow("isPaperLoaded") << pm << QByteArray("isPaperLoaded") << QVariantList{}
                                   << QVariant(false) << "paperLoaded" << QVariant(false);
    QTest::newRow("loadPaper") << pm << QByteArray("loadPaper") << QVariantList{} << QVariant()
                               << "paperLoaded" << QVariant(true);
    QTest::newRow("feedLines from console text")
        << pm << QByteArray("feedLines") << QVariantList{QStringLiteral("4")} << QVariant()
        << "paperPosition" << QVariant(4);
    QTest::newRow("paperPosition") << pm << QByteArray("paperPosition") << QVariantList{}
                                   << QVariant(4) << "paperPosition" << QVariant(4);
    QTest::newRow("setPaperLength") << pm << QByteArray("setPaperLength") << QVariantList{420}
                                    << QVariant(true) << "paperLength" << QVariant(420);
    QTest::newRow("setPaperLength refused")
        << pm << QByteArray("setPaperLength") << QVariantList{10} << QVariant(false)
        << "paperLength" << QVariant(420);

    const QString dm = QStringLiteral("document-manager");
    QTest::newRow("selectDocument")
        << dm << QByteArray("selectDocument") << QVariantList{QStringLiteral("doc-2")} << QVariant()
        << "selectedDocument" << QVariant(QStringLiteral("doc-2"));
    QTest::newRow("setCopies") << dm << QByteArray("setCopies") << QVariantList{3} << QVariant()
                               << "copies" << QVariant(3);
    QTest::newRow("startEmbossing")
        << dm << QByteArray("startEmbossing") << QVariantList{} << QVariant() << "embossing"
        << QVariant(QStringLiteral("embossing"));
    QTest::newRow("pauseEmbossing")
        << dm << QByteArray("pauseEmbossing") << QVariantList{} << QVariant() << "embossing"
        << QVariant(QStringLiteral("paused"));
    QTest::newRow("deleteDocument")
        << dm << QByteArray("deleteDocument") << QVariantList{QStringLiteral("doc-2")}
        << QVariant(true) << "selectedDocument" << QVariant(QString());
    QTest::newRow("deleteDocument unknown")
        << dm << QByteArray("deleteDocument") << QVariantList{QStringLiteral("doc-9")}
        << QVariant(false) << "documentIds"
        << QVariant(QVariantList{QStringLiteral("doc-1"), QStringLiteral("doc-3")});

    const QString sp = QStringLiteral("speech");
    QTest::newRow("speak") << sp << QByteArray("speak")
                           << QVariantList{QStringLiteral("Paper loaded")} << QVariant()
                           << "lastText" << QVariant(QStringLiteral("Paper loaded"));
    QTest::newRow("stop") << sp << QByteArray("stop") << QVariantList{} << QVariant() << "speaking"
                          << QVariant(false);
    QTest::newRow("setRate") << sp << QByteArray("setRate") << QVariantList{70} << QVariant()
                             << "rate" << QVariant(70);
    QTest::newRow("setVolume") << sp << QByteArray("setVolume") << QVariantList{30} << QVariant()
                               << "volume" << QVariant(30);
}

void tst_SiblingClients::callsByName()
{
    QFETCH(QString, sibling);
    QFETCH(QByteArray, method);
    QFETCH(QVariantList, arguments);
    QFETCH(QVariant, expectedResult);
    QFETCH(QString, stateKey);
    QFETCH(QVariant, expectedState);

    QObject* client = m_clients.value(sibling);
    const QGenericArgument argument =
        arguments.isEmpty() ? QGenericArgument() : Q_ARG(QList<QVariant>, arguments);
    bool boolResult = !expectedResult.toBool();
    int intResult = -1;
    QGenericReturnArgument result;
    if (expectedResult.userType() == QMetaType::Bool) {
        result = Q_RETURN_ARG(bool, boolResult);
    } else if (expectedResult.userType() == QMetaType::Int) {
        result = Q_RETURN_ARG(int, intResult);
    }
    QVERIFY(QMetaObject::invokeMethod(client, method.constData(), Qt::DirectConnection, result,
                                      argument));
    if (expectedResult.userType() == QMetaType::Bool) {
        QCOMPARE(boolResult, expectedResult.toBool());
    } else if (expectedResult.userType() == QMetaType::Int) {
        QCOMPARE(intResult, expectedResult.toInt());
    }

    QCOMPARE(siblingState(busNames.value(sibling)).value(stateKey), expectedState);
    QVERIFY(m_processes.value(sibling)->waitForOutput(
        QStringLiteral("%1: %2(").arg(sibling, QString::fromLatin1(method))));
}

void tst_SiblingClients::printManagerTypedCalls()
{
    auto* client = static_cast<PrintManager*>(m_clients.value(QStringLiteral("print-manager")));
    const QVariantMap test = client->runTestCmd(602, 8);
    QCOMPARE(test.value(QStringLiteral("test")), QVariant(602));
    QCOMPARE(test.value(QStringLiteral("parameter")), QVariant(8));
    QCOMPARE(test.value(QStringLiteral("result")), QVariant(QStringLiteral("passed")));

    for (const bool enabled : {true, false}) {
        const QVariantMap answer = client->setIPCState(enabled);
        QCOMPARE(answer.value(QStringLiteral("enabled")), QVariant(enabled));
        QCOMPARE(siblingState(QStringLiteral("com.vellorn.PrintManager"))
                     .value(QStringLiteral("ipcEnabled")),
                 QVariant(enabled));
    }
    QVERIFY(m_processes.value(QStringLiteral("print-manager"))
                ->waitForOutput(QStringLiteral("print-manager: runTestCmd(602, 8)")));
}

void tst_SiblingClients::configurationGroupsRoundTrip()
{
    QObject* client = m_clients.value(QStringLiteral("configuration-manager"));
    ConfigurationList groups;
    QVERIFY(QMetaObject::invokeMethod(client, "getSettingsGroups", Qt::DirectConnection,
                                      Q_RETURN_ARG(ConfigurationList, groups)));
    QStringList names;
    for (const auto& group : qAsConst(groups)) {
        names.append(group.first);
    }
    // The sibling's order, not the alphabet's.
    QCOMPARE(names, (QStringList{QStringLiteral("General"), QStringLiteral("Embossing"),
                                 QStringLiteral("Speech")}));
    QCOMPARE(groups.at(2).second.value(QStringLiteral("rate")), QVariant(QStringLiteral("50")));

    QVariantMap changed;
    const QList<QVariant> setting{QStringLiteral("Speech/rate"), 65};
    QVERIFY(QMetaObject::invokeMethod(client, "setSetting", Qt::DirectConnection,
                                      Q_RETURN_ARG(QVariantMap, changed),
                                      Q_ARG(QList<QVariant>, setting)));
    QCOMPARE(changed.value(QStringLiteral("value")), QVariant(QStringLiteral("65")));

    ConfigurationList speech;
    const QList<QVariant> group{QStringLiteral("Speech")};
    QVERIFY(QMetaObject::invokeMethod(client, "getSettingsGroup", Qt::DirectConnection,
                                      Q_RETURN_ARG(ConfigurationList, speech),
                                      Q_ARG(QList<QVariant>, group)));
    QCOMPARE(speech.size(), 1);
    QCOMPARE(speech.first().first, QStringLiteral("Speech"));
    QCOMPARE(speech.first().second.value(QStringLiteral("rate")), QVariant(QStringLiteral("65")));

    QVERIFY(QMetaObject::invokeMethod(client, "resetSettings", Qt::DirectConnection));
    QVariantMap settings;
    QVERIFY(QMetaObject::invokeMethod(client, "getSettings", Qt::DirectConnection,
                                      Q_RETURN_ARG(QVariantMap, settings)));
    QCOMPARE(settings.value(QStringLiteral("Speech/rate")), QVariant(QStringLiteral("50")));
}

void tst_SiblingClients::failedCallWarnsOnce_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("replySignature");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("argumentTypes");
    QTest::addColumn<QString>("warning");

    QTest::newRow("reply of another type") << "state"
                                           << "i" << QVariantList{} << ""
                                           << "unexpected reply signature \"a{sv}\"";
    QTest::newRow("argument without int value") << "setRate"
                                                << "" << QVariantList{QStringLiteral("fast")} << "i"
                                                << "argument 1";
    QTest::newRow("no such method") << "sing"
                                    << "" << QVariantList{} << ""
                                    << "UnknownMethod";
}

void tst_SiblingClients::failedCallWarnsOnce()
{
    QFETCH(QString, method);
    QFETCH(QString, replySignature);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, argumentTypes);
    QFETCH(QString, warning);

    SiblingLink link(QStringLiteral("com.vellorn.Speech"));
    const QVariantMap before = siblingState(link.service());
    LogCapture log;
    QVERIFY(!link.call(method, replySignature, arguments, argumentTypes).isValid());
    const QStringList warnings = log.messages(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith(QStringLiteral("com.vellorn.Speech.") + method) &&
                 warnings.first().contains(warning),
             qPrintable(warnings.first()));
    QCOMPARE(siblingState(link.service()), before);
}

void tst_SiblingClients::siblingStopAndRestart()
{
    PrintManager client;
    client.setCheckConnection(false);
    QSignalSpy connected(&client, &PrintManager::connected);
    QSignalSpy disconnected(&client, &PrintManager::disconnected);
    // A link that also polls must not report a change twice.
    SiblingLink polling(QStringLiteral("com.vellorn.PrintManager"));
    polling.setCheckInterval(20);
    polling.setCheckConnection(true);
    QSignalSpy pollingConnected(&polling, &SiblingLink::connected);
    QSignalSpy pollingDisconnected(&polling, &SiblingLink::disconnected);
    // The sibling is already there: the link comes up once the bus has said so.
    QTRY_COMPARE(connected.count(), 1);
    QTRY_COMPARE(pollingConnected.count(), 1);

    ServiceProcess* process = m_processes.value(QStringLiteral("print-manager"));
    process->stop();
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(!ServiceWatcher::isReady(QStringLiteral("print-manager")));
    QTRY_COMPARE(disconnected.count(), 1);

    {
        LogCapture log;
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(client.isPaperLoaded(), false);
        QCOMPARE(client.paperPosition(), 0);
        QCOMPARE(client.runTestCmd(601, 0), QVariantMap());
        client.feedLines({2});
        QVERIFY(elapsed.elapsed() < failureBoundMs);
        const QStringList warnings = log.messages(QtWarningMsg);
        QCOMPARE(warnings.size(), 4);
        QVERIFY(warnings.at(0).contains(QStringLiteral("com.vellorn.PrintManager.isPaperLoaded")));
        QVERIFY(warnings.at(3).contains(QStringLiteral("com.vellorn.PrintManager.feedLines")));
    }

    QVERIFY(startSibling(QStringLiteral("print-manager")) != nullptr);
    QTRY_COMPARE(connected.count(), 2);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(client.isPaperLoaded(), true);
    QTRY_COMPARE(pollingConnected.count(), 2);
    QCOMPARE(pollingDisconnected.count(), 1);
    QVERIFY(polling.isConnected());
}

void tst_SiblingClients::hungSiblingTimesOut()
{
    ServiceProcess* process = m_processes.value(QStringLiteral("speech"));
    auto* client = static_cast<Speech*>(m_clients.value(QStringLiteral("speech")));
    ::kill(static_cast<pid_t>(process->processId()), SIGSTOP);
    LogCapture log;
    QElapsedTimer elapsed;
    elapsed.start();
    client->stop();
    const qint64 took = elapsed.elapsed();
    ::kill(static_cast<pid_t>(process->processId()), SIGCONT);

    QVERIFY2(took < failureBoundMs, qPrintable(QString::number(took)));
    QCOMPARE(log.messages(QtWarningMsg).size(), 1);
    QVERIFY(log.messages(QtWarningMsg).first().contains(QStringLiteral("NoReply")));
    QCOMPARE(siblingState(QStringLiteral("com.vellorn.Speech")).value(QStringLiteral("rate")),
             QVariant(70));
}

void tst_SiblingClients::simulatorRefusesToStart_data()
{
    QTest::addColumn<QString>("sibling");
    QTest::addColumn<QString>("message");
    QTest::newRow("name already owned") << "speech"
                                        << "cannot own com.vellorn.Speech";
    QTest::newRow("unknown sibling") << "printer"
                                     << "usage:";
}

void tst_SiblingClients::simulatorRefusesToStart()
{
    QFETCH(QString, sibling);
    QFETCH(QString, message);
    ServiceProcess* process = m_bus.startSibling(sibling);
    QVERIFY(process->waitForFinished(10000));
    QVERIFY(process->exitCode() != 0);
    QVERIFY2(process->output().contains(message), qPrintable(process->output()));
    // The running sibling keeps its name and its readiness.
    QVERIFY(ServiceWatcher::isReady(QStringLiteral("speechd")));
    QVERIFY(!siblingState(QStringLiteral("com.vellorn.Speech")).isEmpty());
}

QTEST_GUILESS_MAIN(tst_SiblingClients)
#include "tst_SiblingClients.moc"
