#pragma once

#include "ls/MetaEnum.h"

#include <QObject>
#include <QStringList>
#include <QVariantMap>

class CommandHandler;
namespace ls {
class ConsoleReader;
}

// The operator's front end on standard input: "HELP ..." and "C ..." lines print menus and help
// texts from the command table and run commands by number through the command handler. It also
// prints the handler's notifications when the "Console" logging category is on. Every line is
// understood on its own; the console keeps no menu state. A command that runs on a sibling's
// lane is finished (closing line printed) before the next typed line is read. Lives on the main
// thread. When standard input ends (Ctrl-D, a pipe that closes, /dev/null under systemd) it
// says once that it is closed, after the last line has been handled; the service goes on.
class Console : public QObject
{
    Q_OBJECT
public:
    // The handler is also the console's parent.
    explicit Console(CommandHandler* handler);

    // False, printing nothing, when no category has this value.
    bool handleCategory(int number) const;
    // False when no command has this value; the handler's reply is not shown. A command queued on
    // a lane prints its closing line when it has run there. The arguments go out as text.
    bool handleCommand(int number, const QStringList& arguments);
    // One line per entry: value, description and arguments from the command table.
    void display(const ls::MetaEnum& enumeration) const;

signals:
    // Emitted from the lane's thread when the command typed last has run there; received on the
    // console's own, the main thread.
    void commandFinished();

private:
    void takeLine(const QString& line);
    void printMainMenu() const;
    // False, printing that it is not found, when no category or command has this value.
    bool printInfo(int number) const;
    void finishCommand();
    void watchInputEnd();
    void noteInputEnded();
    void reportClosedWhenIdle();
    static void printNotification(const QVariantMap& notification);
    static void printHelpBlock();
    static void printNotFound(int number);

    CommandHandler* const m_handler;
    ls::ConsoleReader* const m_reader;
    // Set while a command runs on a lane; the reader is paused meanwhile.
    bool m_commandRunning = false;
    // The reader has stopped watching standard input: nothing more will come.
    bool m_inputEnded = false;
    bool m_closedReported = false;
};
