#pragma once

#include "Catalogue.h"
#include "ServiceClient.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

// The operator console's language ("HELP C", "HELP 202", "C 2", "C 202 3") read line by line
// and answered with the console's own menus, built from the service's catalogue over the bus.
// Unlike the service's console it shows each command's reply, checks the arguments against
// the catalogue before sending, and keeps a double-quoted argument together ("Hello world").
class ConsoleSession
{
public:
    ConsoleSession(const ServiceClient& client, QTextStream& out, QTextStream& err);

    // Gives the next line without its line end; false at the end of input.
    using LineSource = std::function<bool(QString* line)>;

    // Until the end of input. The exit status of the worst outcome seen, as chctl's command line
    // gives it for the same request: the service out of reach, a line, number or argument
    // refused, a Failure reply, or success.
    int run(const LineSource& nextLine);
    void handleLine(const QString& line);

private:
    void showMainMenu();
    // True when the line is answered, the service's absence included; false when the help is to
    // follow.
    bool showCategory(int number);
    bool runCommand(int number, const QStringList& arguments);
    bool showInfo(int number);

    bool fetchCategories(QVector<Catalogue::Entry>* entries);
    Catalogue::Lookup fetchCommand(int number, Catalogue::Entry* entry);
    // Notes the answer's exit status; false, with the reason printed, unless the service
    // answered Success.
    bool succeeded(const ServiceClient::Answer& answer);
    void printMenuLine(const QString& separator, const Catalogue::Entry& entry);
    void printHelpBlock();
    void printNotFound(int number);
    void noteStatus(int status);

    const ServiceClient& m_client;
    QTextStream& m_out;
    QTextStream& m_err;
    int m_status = 0;
};
