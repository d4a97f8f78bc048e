#include "OptionWords.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

// No option starts with a digit, so "-1" and "-1.5" are arguments even before "--".
bool isNegativeNumber(const QString& word)
{
    return word.size() > 1 && word.at(0) == QLatin1Char('-') && word.at(1).isDigit();
}

bool looksLikeOption(const QString& word)
{
    return word.startsWith(QLatin1Char('-')) && word.size() > 1 && !isNegativeNumber(word);
}

QString shellWord(const QString& word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    if (plain.match(word).hasMatch()) {
        return word;
    }
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

} // namespace

OptionWords::OptionWords(const QList<QCommandLineOption>& options) : m_options(options) {}

const QCommandLineOption* OptionWords::optionNamed(const QString& word) const
{
    const QString typed = word.section(QLatin1Char('='), 0, 0);
    for (const QCommandLineOption& option : m_options) {
        const QStringList names = option.names();
        for (const QString& name : names) {
            if (typed == (name.size() == 1 ? "-" : "--") + name) {
                return &option;
            }
        }
    }
    return nullptr;
}

bool OptionWords::takesValue(const QString& word) const
{
    const QCommandLineOption* option = optionNamed(word);
    return option != nullptr && !option->valueName().isEmpty() && !word.contains('=');
}

QString OptionWords::dashHint(const QStringList& arguments) const
{
    QStringList optionWords;
    QStringList words;
    int dashesAt = -1;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments.at(i);
        if (word == QLatin1String("--")) {
            words += arguments.mid(i + 1);
            break;
        }
        if (looksLikeOption(word) && (optionNamed(word) != nullptr || words.isEmpty())) {
            optionWords.append(word);
            if (takesValue(word) && i + 1 < arguments.size()) {
                optionWords.append(arguments.at(++i));
            }
            continue;
        }
        if (looksLikeOption(word) && dashesAt < 0) {
            dashesAt = words.size();
        }
        words.append(word);
    }
    if (dashesAt < 0) {
        return {};
    }
    words.insert(dashesAt, QStringLiteral("--"));
    QStringList line{QCoreApplication::applicationName()};
    for (const QString& word : optionWords + words) {
        line.append(shellWord(word));
    }
    return QStringLiteral("\nchctl: an argument that starts with '-' follows '--': ") +
           line.join(QLatin1Char(' '));
}

QStringList OptionWords::optionsBeforeWords(const QStringList& arguments) const
{
    QStringList optionWords;
    QStringList words;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments.at(i);
        if (word == QLatin1String("--")) {
            words += arguments.mid(i + 1);
            break;
        }
        if (!looksLikeOption(word)) {
            words.append(word);
            continue;
        }
        optionWords.append(word);
        if (takesValue(word)) {
            if (i + 1 == arguments.size()) {
                return arguments;
            }
            optionWords.append(arguments.at(++i));
        }
    }
    return arguments.mid(0, 1) + optionWords + QStringList{QStringLiteral("--")} + words;
}
