#include "CommandLine.h"

#include <QCoreApplication>
#include <QTextCodec>

int main(int argc, char** argv)
{
    // Arguments, replies and output are UTF-8 on the device, whatever the locale says.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("chctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(COMMAND_HANDLER_VERSION));
    CommandLine commandLine;
    return commandLine.run(QCoreApplication::arguments());
}
