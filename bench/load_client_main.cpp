// One load client of the throughput measurements: sends one kind of request to one service, one
// call after the other, from a common start time until its window closes, and prints how many
// calls completed ("completed <n> failed <m>"). Arguments: service, interface, method, request
// name (see BenchRequests.h), start time (ms since the epoch), window (ms).

#include "BenchRequests.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QThread>

#include <cstdio>

namespace {
constexpr int callTimeoutMs = 25000;
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QVariantMap request =
        arguments.size() == 7 ? benchRequests::named(arguments.at(4)) : QVariantMap();
    if (request.isEmpty()) {
        std::fprintf(stderr, "usage: bench-load-client service interface method request "
                             "start-ms window-ms\n");
        return 2;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(arguments.at(1), QStringLiteral("/"),
                                                       arguments.at(2), arguments.at(3));
    call.setArguments({request});
    const QDBusConnection bus = QDBusConnection::systemBus();
    const qint64 start = arguments.at(5).toLongLong();
    const qint64 end = start + arguments.at(6).toLongLong();
    const qint64 wait = start - QDateTime::currentMSecsSinceEpoch();
    if (wait > 0) {
        QThread::msleep(static_cast<unsigned long>(wait));
    }
    int completed = 0;
    int failed = 0;
    while (QDateTime::currentMSecsSinceEpoch() < end) {
        const QDBusMessage answer = bus.call(call, QDBus::Block, callTimeoutMs);
        // A call that ends after the window is not counted.
        if (QDateTime::currentMSecsSinceEpoch() > end) {
            break;
        }
        if (answer.type() == QDBusMessage::ReplyMessage) {
            ++completed;
        } else {
            ++failed;
        }
    }
    std::printf("completed %d failed %d\n", completed, failed);
    return 0;
}
