#pragma once

#include "ls/MetaEnum.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class CommandHandler;

// The operator's front end on standard input: "HELP ..." and "C ..." lines print menus and help
// texts from the command table and run commands by number through the command handler. It also
// prints the handler's notifications when the "Console" logging category is on. Every line is
// understood on its own; the console keeps no menu state. A command that runs on a sibling's
// lane is finished (closing line printed) before the next typed line is taken.
class Console : public QObject
{
    Q_OBJECT
public:
    // The handler is also the console's parent.
    explicit Console(CommandHandler* handler);

    // A "HELP" line: the main menu or one entry's info. True when it printed what was asked.
    bool processHelp(const QString& line) const;
    // A "C" line: a category's menu or a command run. True when it did one of them.
    bool processCommand(const QString& line);
    // False, printing nothing, when no category has this value.
    bool handleCategory(int number) const;
    // False when no command has this value; the handler's reply is not shown. A command queued on
    // a lane prints its closing line when it has run there.
    bool handleCommand(int number, const QList<QVariant>& arguments);
    // One line per entry: value, description and arguments from the command table.
    void display(const ls::MetaEnum& enumeration) const;

private slots:
    void onTextReceived(const QString&);

private:
    void takeLine(const QString& line);
    void finishCommand();
    static void printNotification(const QVariantMap& notification);
    static void printHelpBlock();
    static void printNotFound(int number);

    CommandHandler* const m_handler;
    // Set while a command runs on a lane; lines typed meanwhile wait, in order.
    bool m_commandRunning = false;
    QStringList m_waitingLines;
};
