#include "ConsoleLine.h"

#include "ConsoleTexts.h"

#include <QProcess>

namespace {

using namespace consoleText;

QStringList blankSeparated(const QString& line)
{
    return line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

// The keyword is matched at the very start, in any case and with anything glued to it
// ("helpme 102", "Cmd 200"); the number is always the second word.
ConsoleLine::ConsoleLine(const QString& line, Quoting quoting)
{
    if (line.startsWith(helpPrefix, Qt::CaseInsensitive)) {
        if (line.simplified().compare(mainMenuRequest, Qt::CaseInsensitive) == 0) {
            m_kind = Kind::mainMenu;
        } else {
            readNumber(blankSeparated(line), Kind::help, noHelpNumber, helpNumberNotInteger);
        }
    } else if (line.startsWith(commandPrefix, Qt::CaseInsensitive)) {
        // Qt's own splitting of a command line: quotes group, three of them make one literal.
        const QStringList words =
            quoting == Quoting::doubleQuotes ? QProcess::splitCommand(line) : blankSeparated(line);
        if (readNumber(words, Kind::command, noCommandNumber, commandNumberNotInteger)) {
            m_arguments = words.mid(2);
        }
    }
}

// Base 10 only: "010" is ten, as the operator reads it, and "2.5" or "0x10" are refused.
bool ConsoleLine::readNumber(const QStringList& words, Kind kind, const QString& missing,
                             const QString& notInteger)
{
    m_kind = Kind::refused;
    if (words.size() < 2) {
        m_refusal = missing;
        return false;
    }
    bool ok = false;
    const int number = words.at(1).toInt(&ok, 10);
    if (!ok) {
        m_refusal = notInteger;
        return false;
    }
    m_kind = kind;
    m_number = number;
    return true;
}
