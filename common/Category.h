#pragma once

// Before anything of a file that includes this one: statics built from the table at start-up
// then find the category names, defined inline there, already made.
#include "Siblings.h"
#include "ls/Enums.h"

#include <QString>
#include <QStringList>
#include <QVector>

// One command category, written down once: its key, the enumeration that numbers its commands,
// the sibling that carries them out and the result types its table entries may name. The
// handler's checks, the lanes, the consoles and chctl's catalogue all read it here. Immutable;
// safe from any thread.
struct Category {
    const ls::EnumKey& key;
    const ls::MetaEnum& commands;
    siblings::Id sibling;
    // Empty for a category whose commands are fixed operations of its sibling's client rather
    // than methods the command table names.
    QStringList resultTypes;

    const Sibling& carrier() const { return siblings::of(sibling); }

    // In the order in which a command number is looked for among them; the console's menus
    // follow the same order.
    static const QVector<Category>& all();
    // Null for a key that names no category.
    static const Category* named(const QString& key);
    // The category that holds the command number; null when none does.
    static const Category* holding(int number);
    // A command as a technician names it: "FeedLines (202)".
    static QString commandLabel(int number);
};
