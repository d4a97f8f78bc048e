#pragma once

#include <QStringList>

class CallCarrier;
class CommandTable;

// What in a loaded command table cannot work, against what the service itself knows: the
// category rows, the enumerations that number each category's commands and the ways its carrier
// has to run a call. One line per entry that cannot work, naming it and why, and one per command
// the table lacks. The table still serves as it is: such an entry is refused when called. Asks
// no sibling; used on the thread that loads the table.
class TableCheck
{
public:
    // At most this many problems are logged one by one, then a count of the rest.
    static constexpr int maximumLines = 100;

    static QStringList problems(const CommandTable& table, const CallCarrier& carrier);
    // Each problem as a warning line, within the bound.
    static void report(const QStringList& problems);
};
