// The backend proxies: one proxy and one client per sibling, the connection messages, the debug
// listings of the operations that answer with a value, and the unpacking of answers that still
// hold bus-marshalled containers (made by a real round trip over a private bus). Links the
// in-process fake clients in place of the real client libraries.
#include "ConfigurationList.h"
#include "ConfigurationManager.h"
#include "ConfigurationManagerProxy.h"
#include "DBusReplyUnpack.h"
#include "DocumentManager.h"
#include "DocumentManagerProxy.h"
#include "FakeRecorder.h"
#include "LogCapture.h"
#include "PrintManager.h"
#include "PrintManagerProxy.h"
#include "Singleton.h"
#include "Speech.h"
#include "SpeechProxy.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusPendingCall>
#include <QtTest>

// Answers with a prepared map, so that its nested containers arrive as QDBusArgument values.
class ReplyService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.test.Replies")
public:
    QVariantMap prepared;

public slots:
    QVariantMap answer() const { return prepared; }
};

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

void connectAndDisconnect(QObject* client)
{
    QMetaObject::invokeMethod(client, "connected");
    QMetaObject::invokeMethod(client, "disconnected");
}

const QString heading = QStringLiteral("\033[1;4m %1 \n\033[0m");
const QString peerConnection = QStringLiteral("replies-peer");

bool isDBusArgument(const QVariant& value)
{
    return value.userType() == qMetaTypeId<QDBusArgument>();
}

QVariantMap document(const QString& id)
{
    return {{"id", id}, {"pages", 2}};
}

} // namespace

class ProxiesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { QDBusConnection::disconnectFromBus(peerConnection); }
    void init() { FakeRecorder::resetAll(); }
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }
    void oneProxyAndClientWithConnectionMessages_data();
    void oneProxyAndClientWithConnectionMessages();
    void resultsAreListed();
    void configurationGroupsAreListedInListOrder();
    void documentListsAreListedByKey();
    void marshalledDocumentsAreListed();
    void marshalledOtherShapesUnpackEmpty();
    void marshalledRepeatedKeysAreAllKept();

private:
    // The map as it arrives after crossing the bus.
    QVariantMap roundTrip(const QVariantMap& map);

    TestBus m_bus;
    ReplyService m_service;
};

void ProxiesTest::initTestCase()
{
    QVERIFY(m_bus.start());
    QVERIFY(
        m_bus.connection().registerObject("/replies", &m_service, QDBusConnection::ExportAllSlots));
    QVERIFY(QDBusConnection::connectToBus(m_bus.address(), peerConnection).isConnected());
}

QVariantMap ProxiesTest::roundTrip(const QVariantMap& map)
{
    m_service.prepared = map;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        m_bus.connection().baseService(), "/replies", "com.vellorn.test.Replies", "answer");
    // From another connection, or Qt delivers it without marshalling; asynchronous, as the
    // answering object lives on this thread.
    const QDBusPendingCall pending = QDBusConnection(peerConnection).asyncCall(call, 5000);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 5000) || pending.isError()) {
        return {};
    }
    return qdbus_cast<QVariantMap>(pending.reply().arguments().value(0));
}

void ProxiesTest::oneProxyAndClientWithConnectionMessages_data()
{
    QTest::addColumn<int>("frame");
    for (int i = 0; i < int(std::size(frames)); ++i) {
        QTest::newRow(frames[i].category) << i;
    }
}

void ProxiesTest::oneProxyAndClientWithConnectionMessages()
{
    QFETCH(int, frame);
    const Frame& f = frames[frame];
    // Nothing in this process has asked for this sibling before.
    QCOMPARE(f.recorder().constructed(), 0);
    QObject* proxy = f.proxy();
    QCOMPARE(f.proxy(), proxy);
    QCOMPARE(f.client(), f.client());
    QCOMPARE(f.recorder().constructed(), 1);
    QCOMPARE(f.recorder().checkConnectionCalls(), QList<bool>{false});

    QSignalSpy proxyConnected(proxy, SIGNAL(connected()));
    LogCapture capture;
    connectAndDisconnect(f.client());
    QCOMPARE(capture.messages(), QStringList());
    QLoggingCategory::setFilterRules(QStringLiteral("%1.debug=true").arg(f.category));
    connectAndDisconnect(f.client());
    QCOMPARE(capture.messages(), (QStringList{f.connectedMessage, f.disconnectedMessage}));
    QCOMPARE(proxyConnected.count(), 2);
}

void ProxiesTest::resultsAreListed()
{
    // Filled in another order than the listing's.
    QVariantMap answer;
    answer.insert("mode", 1);
    answer.insert("alpha", "x");
    FakeRecorder::printManager().setResult("paperPosition", 42);
    FakeRecorder::printManager().setResult("runTestCmd", answer);
    FakeRecorder::printManager().setResult("setIPCState", answer);
    FakeRecorder::documentManager().setResult("deleteDocument", true);
    FakeRecorder::configurationManager().setResult("setSetting", answer);
    auto* print = instance<detail::PrintManagerProxy>();
    LogCapture capture;
    detail::CallOutcome outcome{true, {}};

    // A name with its parameter list matches no method: the default is listed and returned.
    QCOMPARE(print->paperFeedBoolCmd("isPaperLoaded()", &outcome), false);
    QVERIFY(!outcome.invoked);
    // Nor does what the client inherits from QObject.
    outcome.invoked = true;
    print->paperFeedCmd("deleteLater", &outcome);
    QVERIFY(!outcome.invoked);
    QCOMPARE(print->paperFeedIntCmd("paperPosition"), 42);
    QCOMPARE(instance<detail::DocumentManagerProxy>()->documentBoolCmd("deleteDocument", {"d1"}),
             true);
    QCOMPARE(print->runTestCmd(602, 4), answer);
    QCOMPARE(print->setIPCState(false), answer);
    QCOMPARE(instance<detail::ConfigurationManagerProxy>()->configurationMapCmd("setSetting", {1}),
             answer);
    // Debug lines only.
    QCOMPARE(capture.messages(QtDebugMsg),
             (QStringList{"false", "42", "true", "alpha = x", "mode = 1", "alpha : x", "mode : 1",
                          "alpha : x", "mode : 1"}));
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
    QCOMPARE(capture.messages(),
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
    QCOMPARE(capture.messages(),
             (QStringList{heading.arg("\"archived\""), "\t \"id\" : \"1\"",
                          "\t \"name\" : \"Letter\"", "", "", heading.arg("\"count\""),
                          heading.arg("\"queued\""), "\t \"id\" : \"2\"", ""}));
}

void ProxiesTest::marshalledOtherShapesUnpackEmpty()
{
    // Another shape than the expected one yields an empty container instead of a crash.
    const QVariantMap arrived =
        roundTrip({{"array", QVariantList{1, 2}}, {"dictionary", document("1")}});
    QVERIFY(isDBusArgument(arrived.value("array")));
    QVERIFY(isDBusArgument(arrived.value("dictionary")));
    QCOMPARE(detail::unpackMap(arrived.value("array")), QVariantMap());
    QCOMPARE(detail::unpackList(arrived.value("dictionary")), QVariantList());
    QCOMPARE(detail::unpackMap(QVariant("text")), QVariantMap());
}

void ProxiesTest::marshalledRepeatedKeysAreAllKept()
{
    QMultiMap<QString, QVariant> sent;
    sent.insert("id", "first");
    sent.insert("id", "second");
    sent.insert("pages", 4);
    const QVariant arrived = roundTrip({{"value", QVariantMap(sent)}}).value("value");
    QVERIFY(isDBusArgument(arrived));

    // The wire carries "second" first; inserted in that order, "first" is the newest.
    const QMultiMap<QString, QVariant> map = detail::unpackMap(arrived);
    QCOMPARE(map.size(), 3);
    QCOMPARE(map.values("id"), (QVariantList{"first", "second"}));
}

void ProxiesTest::marshalledDocumentsAreListed()
{
    const QVariantMap answer = roundTrip(
        {{"documents", QVariantList{document("1"), document("2")}}, {"archive", QVariantList()}});
    FakeRecorder::documentManager().setResult("documents", answer);
    LogCapture capture;

    const QVariantMap result =
        instance<detail::DocumentManagerProxy>()->documentListMapCmd("documents");

    // The listing reads the elements' maps, which the bus left marshalled.
    QCOMPARE(
        capture.messages(),
        (QStringList{heading.arg("\"archive\""), heading.arg("\"documents\""), "\t \"id\" : \"1\"",
                     "\t \"pages\" : \"2\"", "", "\t \"id\" : \"2\"", "\t \"pages\" : \"2\"", ""}));

    // The caller gets the elements as they came off the bus, still readable.
    QCOMPARE(result.value("archive"), QVariant(QVariantList()));
    const QVariantList documents = result.value("documents").toList();
    QCOMPARE(documents.size(), 2);
    QVERIFY(isDBusArgument(documents.at(1)));
    QCOMPARE(detail::unpackMap(documents.at(1)), document("2"));
}

QTEST_GUILESS_MAIN(ProxiesTest)
#include "ProxiesTest.moc"
