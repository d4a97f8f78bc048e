// One load client of the throughput measurements: sends one kind of request (named as in
// BenchRequests.h) to one bus name, or with the bus name "direct" the sibling call behind it to
// the sibling itself, one call after the other, from a common start time until its window closes,
// and prints how many calls completed ("completed <n> failed <m>"). Arguments: bus name, request
// name, start (ms since the epoch), window (ms).

#include "BenchRequests.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDateTime>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QDBusMessage call = arguments.size() == 5
                                  ? benchRequests::call(arguments.at(1), arguments.at(2))
                                  : QDBusMessage();
    if (call.type() != QDBusMessage::MethodCallMessage) {
        std::fprintf(stderr, "usage: bench-load-client bus-name request start-ms window-ms\n");
        return 2;
    }
    const QDBusConnection bus = QDBusConnection::systemBus();
    const qint64 start = arguments.at(3).toLongLong();
    const qint64 end = start + arguments.at(4).toLongLong();
    QThread::msleep(
        static_cast<unsigned long>(qMax<qint64>(0, start - QDateTime::currentMSecsSinceEpoch())));
    int completed = 0;
    int failed = 0;
    while (QDateTime::currentMSecsSinceEpoch() < end) {
        const QDBusMessage answer = bus.call(call, QDBus::Block, 25000);
        // A call that ends after the window is not counted.
        if (QDateTime::currentMSecsSinceEpoch() > end) {
            break;
        }
        ++(answer.type() == QDBusMessage::ReplyMessage ? completed : failed);
    }
    std::printf("completed %d failed %d\n", completed, failed);
    return 0;
}
