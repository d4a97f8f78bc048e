#pragma once

#include <QString>
#include <QVariantList>

// A command's arguments as both consoles show them beside its description, so that a
// technician reads the same form from the service's console and from chctl's.
class ArgumentList
{
public:
    // "( lines: int, text: QString )" from the table's or the catalogue's argumentTypes (a name
    // and a type each), the types as given; "( )" for none, as a table entry that counts
    // arguments without naming them shows.
    static QString text(const QVariantList& argumentTypes);
};
