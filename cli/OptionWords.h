#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

// chctl's command line as options and words, before Qt's parser reads it: a negative number is
// a word, and an argument like an option that is none of chctl's gets the hint to put "--"
// before it.
class OptionWords
{
public:
    // The options outlive this.
    explicit OptionWords(const QList<QCommandLineOption>& options);

    // The options first, then "--" and the words, so that the parser takes a negative number for
    // an argument. Unchanged when an option lacks its value, which the parser then reports.
    QStringList optionsBeforeWords(const QStringList& arguments) const;
    // For a command line the parser refused: the same with "--" before the first word after the
    // command that looks like an option and is none of chctl's (run 500 -hello), how such an
    // argument gets through. Empty when no word is one.
    QString dashHint(const QStringList& arguments) const;

private:
    // The option the word names as typed ("--timeout", "--timeout=5", "-h"); null for none.
    const QCommandLineOption* optionNamed(const QString& word) const;
    // An option whose value is the next word.
    bool takesValue(const QString& word) const;

    const QList<QCommandLineOption>& m_options;
};
