#include "Siblings.h"

namespace siblings {

const QVector<Sibling>& all()
{
    // Indexed by Id. Never destroyed: a lane thread still ending at exit may read it.
    static const auto* table = new QVector<Sibling>{
        {QStringLiteral("print-manager"), QStringLiteral("print-manager"),
         QStringLiteral("com.vellorn.PrintManager")},
        {QStringLiteral("configuration-manager"), QStringLiteral("configuration-manager"),
         QStringLiteral("com.vellorn.ConfigurationManager")},
        {QStringLiteral("document-manager"), QStringLiteral("document-manager"),
         QStringLiteral("com.vellorn.DocumentManager")},
        {QStringLiteral("speech"), QStringLiteral("speechd"), QStringLiteral("com.vellorn.Speech")},
    };
    return *table;
}

const Sibling& of(Id id)
{
    return all().at(id);
}

} // namespace siblings
