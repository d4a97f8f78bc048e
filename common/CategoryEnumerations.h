#pragma once

#include "ls/Enums.h"

// Each command category with the enumeration of its commands, in the order in which a command
// number is looked for among them (the console's menus follow the same order).
struct CategoryEnumeration {
    const ls::EnumKey& category;
    const ls::MetaEnum& commands;
};

inline const CategoryEnumeration categoryEnumerations[] = {
    {ls::CommandCategories::ConfigurationCommandId, ls::ConfigurationCommandId::meta},
    {ls::CommandCategories::PaperFeedCommandId, ls::PaperFeedCommandId::meta},
    {ls::CommandCategories::DocumentCommandId, ls::DocumentCommandId::meta},
    {ls::CommandCategories::EmbossCommandId, ls::EmbossCommandId::meta},
    {ls::CommandCategories::TestingCommandId, ls::TestingCommandId::meta},
    {ls::CommandCategories::IpcCommandId, ls::IpcCommandId::meta},
};

// The category that holds the command number; null when none does.
inline const CategoryEnumeration* categoryOfCommand(int number)
{
    for (const CategoryEnumeration& candidate : categoryEnumerations) {
        if (candidate.commands.hasValue(number)) {
            return &candidate;
        }
    }
    return nullptr;
}

// A command as a technician names it: "FeedLines (202)".
inline QString commandLabel(int number)
{
    const CategoryEnumeration* category = categoryOfCommand(number);
    return category != nullptr
               ? QStringLiteral("%1 (%2)").arg(category->commands.key(number)).arg(number)
               : QStringLiteral("Command %1").arg(number);
}
