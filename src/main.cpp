#include "CommandHandler.h"
#include "CommandHandlerAdaptor.h"
#include "Console.h"
#include "ServiceLifecycle.h"
#include "ServiceWatcher.h"
#include "SystemCheck.h"
#include "Watchdog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTextCodec>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

// Every help and version form of QCommandLineParser's standard options, with -?, its help form
// on Windows.
const std::initializer_list<const char*> helpAndVersionForms = {"-h", "--help", "--help-all",
                                                                "-?", "-v",     "--version"};

bool isHelpOrVersion(const char* argument)
{
    return std::any_of(helpAndVersionForms.begin(), helpAndVersionForms.end(),
                       [argument](const char* form) { return std::strcmp(argument, form) == 0; });
}

bool asksForHelpOrVersion(int argc, char** argv)
{
    return std::any_of(argv + 1, argv + argc, isHelpOrVersion);
}

// Answers help and version without touching the readiness registry, so that asking a device
// for its version never flips the running service's readiness. Other arguments are left out,
// as they are everywhere else, so that an unknown one next to --help is no error.
int answerHelpOrVersion(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    describeApplication(application);
    QCoreApplication::setApplicationVersion(QStringLiteral(COMMAND_HANDLER_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Command gateway of the embossing printer on the D-Bus system bus."));
    parser.addHelpOption();
    parser.addVersionOption();
    QStringList arguments{QString::fromLocal8Bit(argv[0])};
    std::copy_if(argv + 1, argv + argc, std::back_inserter(arguments), isHelpOrVersion);
    // Qt takes -? for help on Windows only; technicians type it everywhere.
    std::replace(arguments.begin(), arguments.end(), QStringLiteral("-?"), QStringLiteral("-h"));
    // Prints the answer and exits.
    parser.process(arguments);
    return EXIT_SUCCESS;
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

// A technician may start a second instance for its console while the service runs; that one
// must leave the running service's readiness alone, from the first step on.
bool anotherInstanceServes()
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    return bus.isConnected() &&
           bus.interface()->isServiceRegistered(CommandHandlerAdaptor::serviceName).value();
}

// How many requests a sibling's lane holds before it refuses more; COMMAND_HANDLER_LANE_CAPACITY
// overrides the default (tests use a small one).
int laneCapacity()
{
    bool ok = false;
    const int capacity = qEnvironmentVariableIntValue("COMMAND_HANDLER_LANE_CAPACITY", &ok);
    return ok && capacity > 0 ? capacity : 64;
}

// Builds the handler, its bus adaptor and its console, and loads the command table. Without the
// bus or without a table there is nothing to serve: null after the error line, so that the
// process exits and systemd can restart it.
CommandHandlerAdaptor* buildService(QCoreApplication& application)
{
    auto* handler = new CommandHandler(&application);
    auto* adaptor = new CommandHandlerAdaptor(handler);
    if (!adaptor->isOnBus()) {
        return nullptr;
    }
    new Console(handler);
    if (!handler->initialize()) {
        return nullptr;
    }
    // Each sibling's commands get a thread of their own, so that a slow or hung sibling delays
    // only its own commands; the lanes share the table, so they start once it is loaded.
    handler->startLanes(laneCapacity());
    return adaptor;
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

} // namespace

int main(int argc, char** argv)
{
    occupyClosedStandardDescriptors();
    if (asksForHelpOrVersion(argc, argv)) {
        return answerHelpOrVersion(argc, argv);
    }

    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QCoreApplication application(argc, argv);
    if (!anotherInstanceServes()) {
        ServiceWatcher::setReady(readinessName, false);
    }

    SystemCheck systemCheck;
    systemCheck.start(QThread::InheritPriority);
    waitForBackends();
    // The thread ends right after opening the gate; joined so that it never outlives its object.
    systemCheck.wait();

    describeApplication(application);
    // Built as the device's services do; the arguments themselves have no effect here.
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();

    CommandHandlerAdaptor* adaptor = buildService(application);
    if (adaptor == nullptr) {
        return EXIT_FAILURE;
    }
    ServiceLifecycle lifecycle;
    if (adaptor->ownsName()) {
        lifecycle.serve();
    }
    Watchdog watchdog;
    const int exitCode = QCoreApplication::exec();
    qobject_cast<CommandHandler*>(adaptor->parent())->stopLanes();
    return exitCode;
}
