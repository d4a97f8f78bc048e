// The standard-input reader, with a pipe or nothing put in place of standard input.
#include "ls/ConsoleReader.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTextCodec>

#include <sys/ioctl.h>
#include <unistd.h>

class ConsoleReaderTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void lines_data();
    void lines();
    void closedInputIsNotWatched();

private:
    int m_savedInput = -1;
};

void ConsoleReaderTest::initTestCase()
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    m_savedInput = ::dup(STDIN_FILENO);
}

void ConsoleReaderTest::cleanup()
{
    // Keeps descriptor 0 taken, so that no pipe of the next row lands on it.
    ::dup2(m_savedInput, STDIN_FILENO);
}

void ConsoleReaderTest::lines_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("line and character split across writes")
        << QByteArrayList{"C 2", "02 Gr\xc3", "\xbc\n"} << QStringList{"C 202 Grü"};
    QTest::newRow("carriage return, empty lines")
        << QByteArrayList{"C 1\r\n\n"} << QStringList{"C 1", ""};
    QTest::newRow("last line without end")
        << QByteArrayList{"C 200\nC 201"} << QStringList{"C 200", "C 201"};
}

void ConsoleReaderTest::lines()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QStringList, lines);

    int ends[2] = {-1, -1};
    QCOMPARE(::pipe(ends), 0);
    ::dup2(ends[0], STDIN_FILENO);
    ::close(ends[0]);
    ls::ConsoleReader reader;
    QSignalSpy received(&reader, &ls::ConsoleReader::textReceived);
    // A notifier left on at end of input would fire on every pass of the event loop until it
    // is deleted: checked while a last line without an end is handed on.
    bool enabledAtEnd = false;
    connect(&reader, &ls::ConsoleReader::textReceived, this, [&] {
        for (const QSocketNotifier* notifier : reader.findChildren<QSocketNotifier*>()) {
            enabledAtEnd = enabledAtEnd || (!reader.isWatching() && notifier->isEnabled());
        }
    });
    for (const QByteArray& chunk : qAsConst(chunks)) {
        QCOMPARE(::write(ends[1], chunk.constData(), chunk.size()), ssize_t(chunk.size()));
        // Consumed before the next chunk comes, so partial lines really are partial.
        QTRY_VERIFY([] {
            int unread = 0;
            return ::ioctl(STDIN_FILENO, FIONREAD, &unread) == 0 && unread == 0;
        }());
    }
    // Complete lines come at once, not at the end of input.
    QTRY_COMPARE(received.size(), chunks.join().count('\n'));
    QVERIFY(reader.isWatching());

    ::close(ends[1]);
    QTRY_VERIFY(!reader.isWatching());
    QVERIFY(!enabledAtEnd);
    QStringList texts;
    for (const QList<QVariant>& arguments : qAsConst(received)) {
        texts.append(arguments.constFirst().toString());
    }
    QCOMPARE(texts, lines);
}

void ConsoleReaderTest::closedInputIsNotWatched()
{
    ::close(STDIN_FILENO);
    QVERIFY(!ls::ConsoleReader().isWatching());
}

QTEST_GUILESS_MAIN(ConsoleReaderTest)
#include "tst_consolereader.moc"
