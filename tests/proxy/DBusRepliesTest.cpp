// Unpacking of sibling replies that still hold bus-marshalled containers. The QDBusArgument
// values come from a real round trip over a private bus: a small in-test service answers with
// a prepared map. Links the in-process fake clients in place of the real client libraries.
#include "DBusReplyUnpack.h"
#include "DocumentManagerProxy.h"
#include "FakeRecorder.h"
#include "LogCapture.h"
#include "Singleton.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QMultiMap>
#include <QtTest>

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

const QString servicePath = QStringLiteral("/replies");
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

class DBusRepliesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void unpackingOtherShapes();
    void repeatedKeysAreAllKept();
    void documentListingFromTheBus();

private:
    // The map as it arrives after crossing the bus: nested containers are QDBusArgument values.
    QVariantMap roundTrip(const QVariantMap& map);

    TestBus m_bus;
    ReplyService m_service;
};

void DBusRepliesTest::initTestCase()
{
    QVERIFY(m_bus.start());
    QVERIFY(m_bus.connection().registerObject(servicePath, &m_service,
                                              QDBusConnection::ExportAllSlots));
    QVERIFY(QDBusConnection::connectToBus(m_bus.address(), peerConnection).isConnected());
}

void DBusRepliesTest::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(peerConnection);
}

QVariantMap DBusRepliesTest::roundTrip(const QVariantMap& map)
{
    m_service.prepared = map;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        m_bus.connection().baseService(), servicePath, "com.vellorn.test.Replies", "answer");
    // Asynchronous: the answering object lives on this thread.
    const QDBusPendingCall pending = QDBusConnection(peerConnection).asyncCall(call, 5000);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 5000) || pending.isError() ||
        pending.reply().arguments().isEmpty()) {
        return {};
    }
    return qdbus_cast<QVariantMap>(pending.reply().arguments().first());
}

void DBusRepliesTest::unpackingOtherShapes()
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

void DBusRepliesTest::repeatedKeysAreAllKept()
{
    QMultiMap<QString, QVariant> sent;
    sent.insert("id", "first");
    sent.insert("id", "second");
    sent.insert("pages", 4);
    // What the receiver should hold: every entry, inserted in the order of the wire.
    QMultiMap<QString, QVariant> expected;
    for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
        expected.insert(it.key(), it.value());
    }
    const QVariant arrived = roundTrip({{"value", QVariantMap(sent)}}).value("value");
    QVERIFY(isDBusArgument(arrived));

    const QMultiMap<QString, QVariant> map = detail::unpackMap(arrived);
    QCOMPARE(map.size(), 3);
    QCOMPARE(map.values("id"), expected.values("id"));
    QCOMPARE(map.value("id"), expected.value("id"));
}

void DBusRepliesTest::documentListingFromTheBus()
{
    const QVariantMap answer = roundTrip(
        {{"documents", QVariantList{document("1"), document("2")}}, {"archive", QVariantList()}});
    FakeRecorder::documentManager().setResult("documents", answer);
    LogCapture capture;

    const QVariantMap result =
        libpivra::Singleton<detail::DocumentManagerProxy>::instance()->documentListMapCmd(
            "documents");

    const QString heading = QStringLiteral("\033[1;4m \"%1\" \n\033[0m");
    const QStringList expected{heading.arg("archive"),
                               heading.arg("documents"),
                               "\t \"id\" : \"1\"",
                               "\t \"pages\" : \"2\"",
                               "",
                               "\t \"id\" : \"2\"",
                               "\t \"pages\" : \"2\"",
                               ""};
    QStringList listing;
    for (const LogCapture::Record& record : capture.records()) {
        listing.append(record.message);
    }
    QCOMPARE(listing, expected);

    // The caller gets the elements as they came off the bus, still readable.
    QCOMPARE(result.keys(), (QStringList{"archive", "documents"}));
    QCOMPARE(result.value("archive"), QVariant(QVariantList()));
    const QVariantList documents = result.value("documents").toList();
    QCOMPARE(documents.size(), 2);
    QVERIFY(isDBusArgument(documents.at(1)));
    QCOMPARE(detail::unpackMap(documents.at(1)), document("2"));
}

QTEST_GUILESS_MAIN(DBusRepliesTest)
#include "DBusRepliesTest.moc"
