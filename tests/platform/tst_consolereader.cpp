// The operator console's reader in-process, with standard input replaced by a pipe that the
// test writes: lines as typed, the 64 KiB bound at its exact edge, refused lines.
#include "LogCapture.h"
#include "ls/ConsoleReader.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
constexpr int limit = 64 * 1024;
const QString tooLong = QStringLiteral("ConsoleReader: line longer than 64 KiB refused");
} // namespace

class ConsoleReaderTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void lines_data();
    void lines();
    void lineEndArrivingAfterTheLimit();

private:
    void write(const QByteArray& bytes) const;
    void endInput();
    QStringList linesWhenEnded(const ls::ConsoleReader& reader, const QSignalSpy& received);

    int m_writer = -1;
};

void ConsoleReaderTest::init()
{
    int ends[2];
    QVERIFY(::pipe(ends) == 0);
    // Room for more than a line at the limit: the test writes before the reader reads.
    ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
    QVERIFY(::dup2(ends[0], STDIN_FILENO) == STDIN_FILENO);
    ::close(ends[0]);
    m_writer = ends[1];
}

void ConsoleReaderTest::cleanup()
{
    endInput();
}

void ConsoleReaderTest::write(const QByteArray& bytes) const
{
    QCOMPARE(::write(m_writer, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
}

void ConsoleReaderTest::endInput()
{
    if (m_writer >= 0) {
        ::close(m_writer);
        m_writer = -1;
    }
}

// The lines handed on, once the reader has seen the end of its input and stopped watching it.
QStringList ConsoleReaderTest::linesWhenEnded(const ls::ConsoleReader& reader,
                                              const QSignalSpy& received)
{
    endInput();
    if (!QTest::qWaitFor([&] { return reader.findChild<QSocketNotifier*>() == nullptr; })) {
        return {QStringLiteral("(input end not seen)")};
    }
    QStringList lines;
    for (const QList<QVariant>& arguments : received) {
        lines << arguments.at(0).toString();
    }
    return lines;
}

void ConsoleReaderTest::lines_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("errors");
    const QString x(limit, 'x');
    QTest::newRow("LF, CR LF, last without end")
        << QByteArray("a\r\nb\n\nc") << QStringList{"a", "b", "", "c"} << QStringList();
    QTest::newRow("at the limit, with LF and CR LF")
        << QByteArray(limit, 'x') + "\n" + QByteArray(limit, 'x') + "\r\n"
        << QStringList{x, x} << QStringList();
    QTest::newRow("one byte over, then a line") << QByteArray(limit + 1, 'x') + "\nnext\n"
                                                << QStringList{"next"} << QStringList{tooLong};
    QTest::newRow("far over, refused once") << QByteArray(5 * limit, 'x') + "\nnext\n"
                                            << QStringList{"next"} << QStringList{tooLong};
    QTest::newRow("over at the end of input")
        << QByteArray(limit + 1, 'x') << QStringList() << QStringList{tooLong};
    QTest::newRow("NUL byte") << QByteArray("HE\0LP\nok\n", 9) << QStringList{"ok"}
                              << QStringList{"ConsoleReader: line holding a NUL byte refused"};
}

void ConsoleReaderTest::lines()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, errors);
    LogCapture log;
    ls::ConsoleReader reader;
    QSignalSpy received(&reader, &ls::ConsoleReader::textReceived);
    write(input);
    QCOMPARE(linesWhenEnded(reader, received), lines);
    QCOMPARE(log.messages(QtCriticalMsg), errors);
}

// A line at the limit whose CR has been read while its LF has not come yet is still a line.
void ConsoleReaderTest::lineEndArrivingAfterTheLimit()
{
    LogCapture log;
    ls::ConsoleReader reader;
    QSignalSpy received(&reader, &ls::ConsoleReader::textReceived);
    write(QByteArray(limit, 'x') + '\r');
    QTRY_VERIFY([] {
        int unread = -1;
        return ::ioctl(STDIN_FILENO, FIONREAD, &unread) == 0 && unread == 0;
    }());
    write("\n");
    QCOMPARE(linesWhenEnded(reader, received), QStringList{QString(limit, 'x')});
    QCOMPARE(log.messages(QtCriticalMsg), QStringList());
}

QTEST_GUILESS_MAIN(ConsoleReaderTest)
#include "tst_consolereader.moc"
