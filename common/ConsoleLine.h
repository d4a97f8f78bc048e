#pragma once

#include <QString>
#include <QStringList>

// One line of the operator console's language ("HELP C", "HELP 202", "C 2", "C 202 3"), read
// the same way by the service's console and by chctl's console mode, so that a line means the
// same in both. Only what is asked is read here; each front end looks the number up and answers
// in its own way, and shows the help after a refusal or a line it does not know.
class ConsoleLine
{
public:
    enum class Kind {
        // An empty line, or one that starts with neither "HELP" nor "C" (a leading blank too).
        none,
        // "HELP C": the categories.
        mainMenu,
        // "HELP <n>": one category's or command's info; words after the number are ignored.
        help,
        // "C <n> [arguments...]": a category's menu, or a command run with the arguments.
        command,
        // A "HELP" or "C" line without a number where one belongs; refusal() says why.
        refused,
    };

    // How the words of a "C" line are split; a "HELP" line takes no argument and is always split
    // at blanks.
    enum class Quoting {
        // The service: every run of blanks separates words, a double quote is a character.
        blanksOnly,
        // chctl: double quotes keep an argument with blanks together ("Hello world" is one word,
        // without its quotes), as a technician types it in a shell.
        doubleQuotes,
    };

    // The line without its end of line.
    explicit ConsoleLine(const QString& line, Quoting quoting = Quoting::blanksOnly);

    Kind kind() const { return m_kind; }
    // The category or command number of help and command; 0 otherwise.
    int number() const { return m_number; }
    // The words after a command's number.
    const QStringList& arguments() const { return m_arguments; }
    // The console's text for a refused line; empty otherwise.
    const QString& refusal() const { return m_refusal; }

private:
    bool readNumber(const QStringList& words, Kind kind, const QString& missing,
                    const QString& notInteger);

    Kind m_kind = Kind::none;
    int m_number = 0;
    QStringList m_arguments;
    QString m_refusal;
};
