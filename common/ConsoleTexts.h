#pragma once

#include <QString>

// The operator console's own texts, shared by the service's console and by chctl's console
// mode so that a technician meets the same language in both.
namespace consoleText {

inline const QString helpPrefix = QStringLiteral("HELP");
inline const QString commandPrefix = QStringLiteral("C");
inline const QString mainMenuRequest = QStringLiteral("HELP C");
inline const QString helpBanner = QStringLiteral("================== Help ==================");
inline const QString mainMenuBanner = QStringLiteral("========== Commands - Main menu ==========");
inline const QString closingRule = QStringLiteral("==========================================");
inline const QString doneBanner = QStringLiteral("================== Done ==================");
inline const QString infoHeader = QStringLiteral("========== Command %1 - Info ==========");
inline const QString categoryHeader = QStringLiteral("========== %1 - Menu ==========");
inline const QString runHeader = QStringLiteral("========== %1 - %2 ==========");
// A "HELP" or "C" line whose number names nothing.
inline const QString commandNotFound = QStringLiteral("Command %1 not found!");
// A "HELP" or "C" line refused for its missing or malformed number.
inline const QString noHelpNumber = QStringLiteral("No arguments received for help.");
inline const QString helpNumberNotInteger = QStringLiteral("Arguments must be of integer type!");
inline const QString noCommandNumber = QStringLiteral("No arguments received for command action.");
inline const QString commandNumberNotInteger = QStringLiteral("Commands must be of integer type!");
// Said once at the end of standard input, so that an operator who pressed Ctrl-D does not take
// the silence for a hang or for the service's end.
inline const QString consoleClosed = QStringLiteral(
    "Console closed (end of input); the service goes on serving the bus until it is stopped.");
inline const QString helpLines[] = {
    QStringLiteral("HELP C Display commands main menu info."),
    QStringLiteral("HELP [cmd_nr] Display command info."),
    QStringLiteral("C [cmd_nr] Enter category / Run command."),
};

} // namespace consoleText
