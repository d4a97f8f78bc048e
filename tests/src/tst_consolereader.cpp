// The standard-input reader, with a pipe, a file, /dev/null or nothing put in place of standard
// input.
#include "ls/ConsoleReader.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QTest>
#include <QTextCodec>

#include <fcntl.h>
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
    // Keeps descriptor 0 taken, so that no pipe or file of the next row lands on it.
    ::dup2(m_savedInput, STDIN_FILENO);
}

void ConsoleReaderTest::lines_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("two lines at once")
        << "pipe" << QByteArrayList{"HELP C\nC 200\n"} << false << QStringList{"HELP C", "C 200"};
    QTest::newRow("line split across writes")
        << "pipe" << QByteArrayList{"C 2", "02 5", "\n"} << false << QStringList{"C 202 5"};
    QTest::newRow("carriage return, empty lines")
        << "pipe" << QByteArrayList{"C 1\r\n\n"} << false << QStringList{"C 1", ""};
    QTest::newRow("utf-8 split inside a character")
        << "pipe" << QByteArrayList{"Gr\xc3", "\xbc\n"} << false << QStringList{"Grü"};
    QTest::newRow("long line") << "pipe" << QByteArrayList{QByteArray(10000, 'x') + '\n'} << false
                               << QStringList{QString(10000, 'x')};
    QTest::newRow("closed pipe, last line without end")
        << "pipe" << QByteArrayList{"C 200\nC 201"} << true << QStringList{"C 200", "C 201"};
    QTest::newRow("regular file") << "file" << QByteArrayList{"HELP C\nC 2\n"} << true
                                  << QStringList{"HELP C", "C 2"};
    QTest::newRow("/dev/null") << "null" << QByteArrayList() << true << QStringList();
    QTest::newRow("not open") << "closed" << QByteArrayList() << true << QStringList();
}

void ConsoleReaderTest::lines()
{
    QFETCH(QString, source);
    QFETCH(QByteArrayList, chunks);
    QFETCH(bool, ended);
    QFETCH(QStringList, lines);

    int ends[2] = {-1, -1};
    QTemporaryFile file;
    if (source == "pipe") {
        QCOMPARE(::pipe(ends), 0);
        ::dup2(ends[0], STDIN_FILENO);
        ::close(ends[0]);
    } else if (source == "file") {
        QVERIFY(file.open());
        file.write(chunks.join());
        file.flush();
        ::dup2(::open(qPrintable(file.fileName()), O_RDONLY), STDIN_FILENO);
    } else if (source == "null") {
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
    } else {
        ::close(STDIN_FILENO);
    }

    ls::ConsoleReader reader;
    QSignalSpy received(&reader, &ls::ConsoleReader::textReceived);
    for (const QByteArray& chunk : qAsConst(chunks)) {
        if (source == "pipe") {
            QCOMPARE(::write(ends[1], chunk.constData(), chunk.size()), ssize_t(chunk.size()));
            // Consumed before the next chunk comes, so partial lines really are partial.
            QTRY_VERIFY([] {
                int unread = 0;
                return ::ioctl(STDIN_FILENO, FIONREAD, &unread) == 0 && unread == 0;
            }());
        }
    }
    if (ended) {
        ::close(ends[1]);
        QTRY_VERIFY(!reader.isWatching());
        // A notifier left on at end of input would fire on every pass of the event loop.
        for (const QSocketNotifier* notifier : reader.findChildren<QSocketNotifier*>()) {
            QVERIFY(!notifier->isEnabled());
        }
    } else {
        QTRY_COMPARE(received.size(), lines.size());
        QVERIFY(reader.isWatching());
        ::close(ends[1]);
    }
    QStringList texts;
    for (const QList<QVariant>& arguments : qAsConst(received)) {
        texts.append(arguments.constFirst().toString());
    }
    QCOMPARE(texts, lines);
}

QTEST_GUILESS_MAIN(ConsoleReaderTest)
#include "tst_consolereader.moc"
