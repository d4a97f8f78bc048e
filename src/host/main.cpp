#include "CommandHandler.h"
#include "CommandHandlerAdaptor.h"
#include "CommandTable.h"
#include "Console.h"
#include "DirectCarrier.h"
#include "LaneSettings.h"
#include "Lanes.h"
#include "ServiceLifecycle.h"
#include "ServiceName.h"
#include "ServiceStatus.h"
#include "StatusAdaptor.h"
#include "TerminationNotifier.h"
#include "Watchdog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTextCodec>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

void describeApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Vellorn"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vellorn.com"));
    QCoreApplication::setApplicationName(QStringLiteral("command-handler"));
}

// The options that answer without starting the service: help, version and the table check, read
// as Qt reads them (combined short options such as -hv included). Other arguments are no error,
// as they have no effect anywhere else.
struct StartOptions {
    StartOptions(int argc, char** argv)
    {
        parser.setApplicationDescription(
            QStringLiteral("Command gateway of the embossing printer on the D-Bus system bus."));
        parser.addHelpOption();
        parser.addVersionOption();
        // Qt takes -? for help on Windows only; technicians type it everywhere.
        windowsHelpOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(windowsHelpOption);
        parser.addOption(checkTableOption);
        parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("With --check-table: the table to check instead of the installed one."),
            QStringLiteral("[FILE]"));
        QStringList arguments;
        std::transform(argv, argv + argc, std::back_inserter(arguments),
                       [](const char* argument) { return QString::fromLocal8Bit(argument); });
        parser.parse(arguments);
    }

    bool asksForVersion() const { return parser.isSet(QStringLiteral("version")); }
    bool asksForTableCheck() const { return parser.isSet(checkTableOption); }
    bool asksForHelp() const
    {
        return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
               parser.isSet(windowsHelpOption);
    }

    QCommandLineParser parser;
    QCommandLineOption windowsHelpOption{QStringLiteral("?")};
    QCommandLineOption checkTableOption{
        QStringLiteral("check-table"),
        QStringLiteral("Loads and checks the command table as a start would, prints each problem "
                       "and a summary, and exits 0 only when every entry can work. Touches "
                       "neither the bus nor the service.")};
};

// Answers help and version without touching the bus or the readiness registry, so that asking a
// device for its version never flips the running service's readiness. Version goes first, as in
// Qt's own handling of the two options.
int answerHelpOrVersion(int argc, char** argv, StartOptions& asked)
{
    QCoreApplication application(argc, argv);
    describeApplication();
    QCoreApplication::setApplicationVersion(QStringLiteral(COMMAND_HANDLER_VERSION));
    if (asked.asksForVersion()) {
        asked.parser.showVersion();
    }
    // Prints the answer and exits.
    asked.parser.showHelp(EXIT_SUCCESS);
}

// The table a start would load, or the one named, loaded and checked as a start would: without
// the bus or the readiness registry, so that it may run before every reload.
int checkTable(const StartOptions& asked)
{
    const QString path = asked.parser.positionalArguments().value(0, CommandTable::path());
    DirectCarrier carrier;
    CommandHandler handler(carrier);
    const CommandHandler::TableLoad load = handler.load(path);
    if (!load.loaded) {
        qCritical().noquote() << QStringLiteral("%1: the command table cannot be loaded").arg(path);
        return EXIT_FAILURE;
    }
    qInfo().noquote() << QStringLiteral("%1 commands, %2 %3")
                             .arg(load.commands)
                             .arg(load.problems)
                             .arg(QLatin1String(load.problems == 1 ? "problem" : "problems"));
    return load.problems == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

// A technician may start a second instance for its console while the service runs; that one
// must leave the running service's readiness alone, from the first step on.
bool anotherInstanceServes()
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    return bus.isConnected() &&
           bus.interface()->isServiceRegistered(commandHandlerServiceName).value();
}

// What main starts serving with; every part is the lanes' child.
struct Service {
    CommandHandler* handler;
    CommandHandlerAdaptor* adaptor;
    ServiceStatus* status;
};

// Builds the handler, its bus adaptors and its console, and loads the command table. Without the
// bus, without the name the bus refuses it, or without a table there is nothing to serve: empty
// after the error line, so that the process exits and systemd can restart it. A name that
// another instance owns is no failure: this one still offers its console.
std::optional<Service> buildService(Lanes& lanes)
{
    auto* handler = new CommandHandler(lanes, &lanes);
    // Before the table is loaded, which the status records, and before the handler is
    // registered on the bus, which finds its adaptors then.
    auto* status = new ServiceStatus(lanes, *handler, handler);
    new StatusAdaptor(handler, *status);
    auto* adaptor = new CommandHandlerAdaptor(handler);
    using Registration = CommandHandlerAdaptor::Registration;
    if (adaptor->registration() == Registration::offBus ||
        adaptor->registration() == Registration::nameRefused) {
        return std::nullopt;
    }
    new Console(handler);
    if (!handler->initialize()) {
        return std::nullopt;
    }
    return Service{handler, adaptor, status};
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
    // Before anything that takes time: a stop or a reload asked for during start-up is obeyed as
    // the service promises, never the default action that kills it.
    TerminationNotifier::catchSignals(true);
    StartOptions asked(argc, argv);
    if (asked.asksForHelp() || asked.asksForVersion()) {
        return answerHelpOrVersion(argc, argv, asked);
    }
    if (asked.asksForTableCheck()) {
        return checkTable(asked);
    }

    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QCoreApplication application(argc, argv);
    if (!anotherInstanceServes()) {
        ServiceLifecycle::withdrawAnnouncement();
    }
    // Signals are handled from here on, also while the service waits for its siblings. There is
    // no time-out: without its siblings the service has nothing to offer.
    ServiceLifecycle lifecycle;
    if (!lifecycle.waitForSiblings()) {
        return EXIT_SUCCESS;
    }
    describeApplication();

    const LaneSettings settings;
    // The handler and all it owns are the lanes' children, so that they go before the lanes.
    Lanes lanes({settings.capacity(), settings.waitSeconds()});
    const std::optional<Service> service = buildService(lanes);
    if (!service) {
        return EXIT_FAILURE;
    }
    CommandHandler* handler = service->handler;
    lifecycle.setReload([handler] { handler->reload(); });
    if (service->adaptor->registration() != CommandHandlerAdaptor::Registration::ownsName) {
        lifecycle.watchBus();
    } else if (!lifecycle.serve()) {
        lanes.stop();
        return EXIT_FAILURE;
    } else {
        service->status->serving();
        lifecycle.showStatus(*service->status);
    }
    Watchdog watchdog;
    const int exitCode = QCoreApplication::exec();
    lanes.stop();
    return exitCode;
}
