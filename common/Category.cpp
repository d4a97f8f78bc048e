#include "Category.h"

#include "TableTexts.h"

const QVector<Category>& Category::all()
{
    using namespace ls;
    using namespace tableText;
    // Never destroyed: a lane thread still ending at exit may read it.
    static const auto* rows = new QVector<Category>{
        {CommandCategories::ConfigurationCommandId,
         ConfigurationCommandId::meta,
         siblings::configurationManager,
         {variantMapType, listType, voidType}},
        {CommandCategories::PaperFeedCommandId,
         PaperFeedCommandId::meta,
         siblings::printManager,
         {voidType, intType, boolType}},
        {CommandCategories::DocumentCommandId,
         DocumentCommandId::meta,
         siblings::documentManager,
         {voidType, boolType, variantListType}},
        {CommandCategories::EmbossCommandId,
         EmbossCommandId::meta,
         siblings::documentManager,
         {voidType}},
        {CommandCategories::TestingCommandId, TestingCommandId::meta, siblings::speech, {voidType}},
        {CommandCategories::IpcCommandId, IpcCommandId::meta, siblings::printManager, {}},
    };
    return *rows;
}

const Category* Category::named(const QString& key)
{
    for (const Category& category : all()) {
        if (category.key == key) {
            return &category;
        }
    }
    return nullptr;
}

const Category* Category::holding(int number)
{
    for (const Category& category : all()) {
        if (category.commands.hasValue(number)) {
            return &category;
        }
    }
    return nullptr;
}

QString Category::commandLabel(int number)
{
    const Category* category = holding(number);
    return category != nullptr
               ? QStringLiteral("%1 (%2)").arg(category->commands.key(number)).arg(number)
               : QStringLiteral("Command %1").arg(number);
}
