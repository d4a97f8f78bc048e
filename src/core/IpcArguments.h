#pragma once

#include "ls/Command.h"

#include <QVariantList>

#include <optional>

// What an IPC command's arguments say. They switch hardware: an argument that does not say
// exactly what to do says nothing, and the command is refused rather than guessed.
class IpcArguments
{
public:
    explicit IpcArguments(const ls::Command& command);

    // Without arguments the state is true, as callers have always relied on; the console always
    // sends an argument list, empty when nothing was typed, and that too is no argument.
    // Otherwise the first argument says it.
    std::optional<bool> state() const;
    // A self-test's parameter: 0 when the test takes none or none is given.
    std::optional<int> testParameter(bool takesParameter) const;
    // Why the arguments say nothing of the kind expected, for a refusal: ""maybe" is no boolean".
    QString refusal(const QString& expected) const;

private:
    bool m_given;
    // Nothing when the request carries arguments that are no list.
    std::optional<QVariantList> m_list;
};
