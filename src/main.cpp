#include "CommandHandler.h"
#include "CommandHandlerAdaptor.h"
#include "ServiceWatcher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextCodec>

#include <cstring>

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

} // namespace

int main(int argc, char** argv)
{
    if (asksForHelpOrVersion(argc, argv)) {
        return answerHelpOrVersion(argc, argv);
    }

    ServiceWatcher::setReady(readinessName, false);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QCoreApplication application(argc, argv);

    describeApplication(application);
    // Built as the device's services do; the arguments themselves have no effect here.
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();

    auto* handler = new CommandHandler(&application);
    new CommandHandlerAdaptor(handler);

    handler->initialize();
    ServiceWatcher::setReady(readinessName, true);
    return QCoreApplication::exec();
}
