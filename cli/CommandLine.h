#pragma once

#include "Catalogue.h"
#include "ServiceClient.h"

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>
#include <QVector>

#include <memory>

// chctl's command line: options, the subcommands list, help, run and console, what each prints
// and the exit status it ends with.
class CommandLine
{
public:
    CommandLine();

    // The program's arguments, the program's name first. Returns the exit status.
    int run(const QStringList& arguments);

private:
    // A subcommand: how many words it takes after its name, the usage error when it is given
    // fewer or more, and what carries it out.
    struct Verb {
        QString name;
        int minimumWords;
        int maximumWords;
        QString wrongCount;
        // Off for the shell's completion, which must not wait for a bus.
        bool callsService;
        int (CommandLine::*handler)(const QStringList& words);
    };
    static const QVector<Verb>& verbs();
    static QString verbNames();
    int dispatch(const QString& name, const QStringList& words);

    int list(const QStringList& words);
    int listCommands(const QString& category);
    // -1, with *category set, when the word is in one category's description; otherwise the
    // exit status, with the reason printed.
    int findDescribedCategory(const QString& word, QString* category);
    int help(const QStringList& words);
    int helpCategory(int number);
    int runCommand(const QStringList& words);
    int console(const QStringList& words);
    int showStatus(const QStringList& words);
    int complete(const QStringList& words);

    // -1 when the catalogue has the command; otherwise the exit status, with the reason
    // printed.
    int findCommand(int number, Catalogue::Entry* command, ServiceClient::Answer* answer);
    // The exit status of a catalogue or command answer, with the bus error or the failure
    // explained on standard error.
    int statusOf(const ServiceClient::Answer& answer);
    int noCommand(const QString& word);
    int usageError(const QString& message);

    QCommandLineParser m_parser;
    QTextStream m_out;
    QTextStream m_err;
    std::unique_ptr<ServiceClient> m_client;
    int m_timeoutMs = 0;
    bool m_json = false;
};
