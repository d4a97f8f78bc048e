#include "CommandHandler.h"
#include "CommandHandlerAdaptor.h"
#include "Console.h"
#include "ServiceWatcher.h"
#include "SystemCheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextCodec>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString readinessName = QStringLiteral("command-handler");

void describeApplication(QCoreApplication& application)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Vellorn"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vellorn.com"));
    QCoreApplication::setApplicationName(QStringLiteral("command-handler"));
    Q_UNUSED(application)
}

bool asksForHelpOrVersion(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-?", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

// Answers --help and --version without touching the readiness registry, so that asking a
// device for its version never flips the running service's readiness.
int answerHelpOrVersion(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    describeApplication(application);
    QCoreApplication::setApplicationVersion(QStringLiteral(COMMAND_HANDLER_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Command gateway of the embossing printer on the D-Bus system bus."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(version)) {
        parser.showVersion();
    }
    parser.showHelp(0);
}

// Blocks until the readiness thread has seen every sibling ready. There is no time-out: without
// its siblings the service has nothing to offer.
void waitForBackends()
{
    gateMutex.lock();
    while (!backendsReady) {
        gateCondition.wait(&gateMutex);
    }
    gateMutex.unlock();
}

// A standard descriptor that is closed at start would be handed to the next file opened (the
// event loop's wake-up descriptor, the bus socket), and the console would then read that as
// its standard input. /dev/null takes their places first.
void occupyClosedStandardDescriptors()
{
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int opened = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor) {
            dup2(opened, descriptor);
            close(opened);
        }
    }
}

// How many requests a sibling's lane holds before it refuses more; COMMAND_HANDLER_LANE_CAPACITY
// overrides the default (tests use a small one).
int laneCapacity()
{
    bool ok = false;
    const int capacity = qEnvironmentVariableIntValue("COMMAND_HANDLER_LANE_CAPACITY", &ok);
    return ok && capacity > 0 ? capacity : 64;
}

// Each sibling's commands get a thread of their own, so that a slow or hung sibling delays only
// its own commands. Started once the command table is loaded: the lanes share it.
void startLanes(CommandHandler& handler)
{
    handler.startLanes(laneCapacity());
}

void stopLanes(CommandHandler& handler)
{
    handler.stopLanes();
}

} // namespace

int main(int argc, char** argv)
{
    occupyClosedStandardDescriptors();
    if (asksForHelpOrVersion(argc, argv)) {
        return answerHelpOrVersion(argc, argv);
    }

    ServiceWatcher::setReady(readinessName, false);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QCoreApplication application(argc, argv);

    SystemCheck systemCheck;
    systemCheck.start(QThread::InheritPriority);
    waitForBackends();

    describeApplication(application);
    // Built as the device's services do; the arguments themselves have no effect here.
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();

    auto* handler = new CommandHandler(&application);
    new CommandHandlerAdaptor(handler);
    new Console(handler);

    handler->initialize();
    startLanes(*handler);
    ServiceWatcher::setReady(readinessName, true);
    const int exitCode = QCoreApplication::exec();
    stopLanes(*handler);
    // The thread ended right after opening the gate; joined so that it never outlives its object.
    systemCheck.wait();
    return exitCode;
}
