#pragma once

#include <QByteArray>
#include <QString>

// Command tables of any size for the catalogue scaling runs: the six categories of the device,
// and the commands spread over them round-robin, every third one with two arguments, shaped
// like the entries of the default table.
class CommandTableGenerator
{
public:
    static QByteArray generate(int commandCount);
    // The category the n-th generated command (from 0) belongs to.
    static QString categoryOf(int index);
    static int categoryCount();
};
