#include "Siblings.h"

#include "ls/Enums.h"

namespace siblings {

const QVector<Sibling>& all()
{
    // Indexed by Id. Never destroyed: a lane thread still ending at exit may read it.
    static const auto* table = new QVector<Sibling>{
        {QStringLiteral("print-manager"),
         QStringLiteral("print-manager"),
         QStringLiteral("com.vellorn.PrintManager"),
         {ls::CommandCategories::PaperFeedCommandId, ls::CommandCategories::IpcCommandId},
         "PrintManager"},
        {QStringLiteral("configuration-manager"),
         QStringLiteral("configuration-manager"),
         QStringLiteral("com.vellorn.ConfigurationManager"),
         {ls::CommandCategories::ConfigurationCommandId},
         "ConfigurationManager"},
        {QStringLiteral("document-manager"),
         QStringLiteral("document-manager"),
         QStringLiteral("com.vellorn.DocumentManager"),
         {ls::CommandCategories::DocumentCommandId, ls::CommandCategories::EmbossCommandId},
         "DocumentManager"},
        {QStringLiteral("speech"),
         QStringLiteral("speechd"),
         QStringLiteral("com.vellorn.Speech"),
         {ls::CommandCategories::TestingCommandId},
         "Speech"},
    };
    return *table;
}

const Sibling& of(Id id)
{
    return all().at(id);
}

const Sibling* carrying(const QString& category)
{
    for (const Sibling& sibling : all()) {
        if (sibling.categories.contains(category)) {
            return &sibling;
        }
    }
    return nullptr;
}

} // namespace siblings
