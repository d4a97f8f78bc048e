// The backend proxies: one proxy and one client per sibling, the connection messages, and the
// debug listings of the operations that answer with a value. Links the in-process fake clients
// in place of the real client libraries.
#include "ConfigurationList.h"
#include "ConfigurationManager.h"
#include "ConfigurationManagerProxy.h"
#include "DocumentManager.h"
#include "DocumentManagerProxy.h"
#include "FakeRecorder.h"
#include "LogCapture.h"
#include "PrintManager.h"
#include "PrintManagerProxy.h"
#include "Singleton.h"
#include "Speech.h"
#include "SpeechProxy.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QtTest>

namespace {

template <typename T> T* instance()
{
    return libpivra::Singleton<T>::instance();
}

template <typename T> QObject* object()
{
    return instance<T>();
}

struct Frame {
    const char* category;
    const char* connectedMessage;
    const char* disconnectedMessage;
    FakeRecorder& (*recorder)();
    QObject* (*proxy)();
    QObject* (*client)();
};

const Frame frames[] = {
    {"PrintManager", "Connected to print-manager", "Disconnected from print-manager",
     &FakeRecorder::printManager, &object<detail::PrintManagerProxy>,
     &object<libprintmanager::detail::PrintManager>},
    {"DocumentManager", "Connected to document-manager.", "Disconnected from document-manager.",
     &FakeRecorder::documentManager, &object<detail::DocumentManagerProxy>,
     &object<libdocumentmanager::detail::DocumentManager>},
    {"ConfigurationManager", "Connected to configuration-manager.",
     "Disconnected from configuration-manager.", &FakeRecorder::configurationManager,
     &object<detail::ConfigurationManagerProxy>,
     &object<libconfigurationmanager::detail::ConfigurationManager>},
    {"Speech", "Connected to speech", "Disconnected from speech", &FakeRecorder::speech,
     &object<detail::SpeechProxy>, &object<libspeech::detail::Speech>},
};

// Debug lines only: a call that finds no method also draws a warning from Qt itself.
QStringList messagesOf(const LogCapture& capture, const QString& category)
{
    QStringList messages;
    for (const LogCapture::Record& record : capture.records()) {
        if (record.type == QtDebugMsg && record.category == category) {
            messages.append(record.message);
        }
    }
    return messages;
}

const QString heading = QStringLiteral("\033[1;4m %1 \n\033[0m");

} // namespace

class ProxiesTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeRecorder::resetAll(); }
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }
    // Runs first: nothing in this process has asked for a sibling before.
    void firstFetchCreatesProxyAndClientOnce_data();
    void firstFetchCreatesProxyAndClientOnce();
    void connectionMessages_data();
    void connectionMessages();
    void resultsAreListed();
    void mapsAreListedByKey();
    void configurationGroupsAreListedInListOrder();
    void documentListsAreListedByKey();
};

void ProxiesTest::firstFetchCreatesProxyAndClientOnce_data()
{
    QTest::addColumn<int>("frame");
    for (int i = 0; i < int(std::size(frames)); ++i) {
        QTest::newRow(frames[i].category) << i;
    }
}

void ProxiesTest::firstFetchCreatesProxyAndClientOnce()
{
    QFETCH(int, frame);
    const Frame& f = frames[frame];
    QCOMPARE(f.recorder().constructed(), 0);

    QObject* proxy = f.proxy();
    QCOMPARE(f.proxy(), proxy);
    QCOMPARE(f.client(), f.client());
    QCOMPARE(f.recorder().constructed(), 1);
    QCOMPARE(f.recorder().checkConnectionCalls(), QList<bool>{false});
    // The holder adds no meta-object of its own and gives no parent.
    QCOMPARE(proxy->metaObject()->className(),
             QByteArray("detail::").append(f.category).append("Proxy"));
    QCOMPARE(proxy->parent(), nullptr);
    QCOMPARE(f.client()->parent(), nullptr);
}

void ProxiesTest::connectionMessages_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("debugOn");
    for (int i = 0; i < int(std::size(frames)); ++i) {
        QTest::addRow("%s, debug off", frames[i].category) << i << false;
        QTest::addRow("%s, debug on", frames[i].category) << i << true;
    }
}

void ProxiesTest::connectionMessages()
{
    QFETCH(int, frame);
    QFETCH(bool, debugOn);
    const Frame& f = frames[frame];
    if (debugOn) {
        QLoggingCategory::setFilterRules(QStringLiteral("%1.debug=true").arg(f.category));
    }
    QSignalSpy proxyConnected(f.proxy(), SIGNAL(connected()));
    LogCapture capture;

    QVERIFY(QMetaObject::invokeMethod(f.client(), "connected"));
    QVERIFY(QMetaObject::invokeMethod(f.client(), "disconnected"));
    QCOMPARE(proxyConnected.count(), 1);
    const QStringList expected{f.connectedMessage, f.disconnectedMessage};
    QCOMPARE(messagesOf(capture, f.category), debugOn ? expected : QStringList());
    QCOMPARE(capture.records().size(), debugOn ? 2 : 0);
}

void ProxiesTest::resultsAreListed()
{
    FakeRecorder::printManager().setResult("paperPosition", 42);
    FakeRecorder::documentManager().setResult("deleteDocument", true);
    LogCapture capture;
    bool invoked = true;

    // A name with its parameter list matches no method: the default is listed and returned.
    QCOMPARE(instance<detail::PrintManagerProxy>()->paperFeedBoolCmd("isPaperLoaded()", &invoked),
             false);
    QVERIFY(!invoked);
    QCOMPARE(instance<detail::PrintManagerProxy>()->paperFeedIntCmd("paperPosition"), 42);
    QCOMPARE(instance<detail::DocumentManagerProxy>()->documentBoolCmd("deleteDocument", {"d1"}),
             true);
    QCOMPARE(messagesOf(capture, "default"), (QStringList{"false", "42", "true"}));
    QCOMPARE(FakeRecorder::documentManager().calls().first().arguments, QVariantList{"d1"});
}

void ProxiesTest::mapsAreListedByKey()
{
    // Filled in another order than the listing's.
    QVariantMap answer;
    answer.insert("mode", 1);
    answer.insert("alpha", "x");
    FakeRecorder::printManager().setResult("runTestCmd", answer);
    FakeRecorder::printManager().setResult("setIPCState", answer);
    FakeRecorder::configurationManager().setResult("setSetting", answer);
    LogCapture capture;

    QCOMPARE(instance<detail::PrintManagerProxy>()->runTestCmd(602, 4), answer);
    QCOMPARE(instance<detail::PrintManagerProxy>()->setIPCState(false), answer);
    QCOMPARE(instance<detail::ConfigurationManagerProxy>()->configurationMapCmd("setSetting",
                                                                                {"mode", 1}),
             answer);
    QCOMPARE(messagesOf(capture, "default"), (QStringList{"alpha = x", "mode = 1", "alpha : x",
                                                          "mode : 1", "alpha : x", "mode : 1"}));
    QCOMPARE(FakeRecorder::printManager().calls().at(0).arguments, (QVariantList{602, 4}));
    QCOMPARE(FakeRecorder::printManager().calls().at(1).arguments, QVariantList{false});
}

void ProxiesTest::configurationGroupsAreListedInListOrder()
{
    const QVariantMap lastZeta{{"c", 3}};
    const ConfigurationList groups{
        {"zeta", {{"b", 1}, {"a", "x"}}}, {"alpha", {}}, {"zeta", lastZeta}};
    FakeRecorder::configurationManager().setResult("getSettingsGroups",
                                                   QVariant::fromValue(groups));
    LogCapture capture;

    QCOMPARE(
        instance<detail::ConfigurationManagerProxy>()->configurationListCmd("getSettingsGroups"),
        (QVariantMap{{"alpha", QVariantMap()}, {"zeta", lastZeta}}));
    QCOMPARE(messagesOf(capture, "default"),
             (QStringList{heading.arg("zeta"), "a : x", "b : 1", "\n", heading.arg("alpha"), "\n",
                          heading.arg("zeta"), "c : 3", "\n"}));
}

void ProxiesTest::documentListsAreListedByKey()
{
    const QVariantMap answer{
        {"queued", QVariantList{QVariantMap{{"id", "2"}}}},
        {"archived", QVariantList{QVariantMap{{"name", "Letter"}, {"id", "1"}}, QVariant(5)}},
        {"count", 5}};
    FakeRecorder::documentManager().setResult("documents", answer);
    LogCapture capture;

    // A value that is no list is kept as an empty one; an element that is no map lists nothing.
    QVariantMap expected = answer;
    expected.insert("count", QVariantList());
    QCOMPARE(instance<detail::DocumentManagerProxy>()->documentListMapCmd("documents"), expected);
    QCOMPARE(messagesOf(capture, "default"),
             (QStringList{heading.arg("\"archived\""), "\t \"id\" : \"1\"",
                          "\t \"name\" : \"Letter\"", "", "", heading.arg("\"count\""),
                          heading.arg("\"queued\""), "\t \"id\" : \"2\"", ""}));
}

QTEST_GUILESS_MAIN(ProxiesTest)
#include "ProxiesTest.moc"
