#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <sys/socket.h>
#include <sys/un.h>

// A program run to its end with what it was given on its input: its exit code, -1 if it crashed,
// and what it wrote to each stream; -1 and why when it did not start or end in time (then killed).
struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline ProgramRun
runProgram(const QStringList& command, const QByteArray& input = {}, int timeoutMs = 30000,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(command.value(0), command.mid(1));
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, process.errorString()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// Writes the file whole, with the directories it needs; false when any of that fails.
inline bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) &&
           file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

// The file's contents; null when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A unix socket of the type (SOCK_STREAM, SOCK_DGRAM, with flags) bound to the path.
inline int boundSocket(int type, const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, qPrintable(path), sizeof address.sun_path);
    const int bound = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    ::bind(bound, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return bound;
}
