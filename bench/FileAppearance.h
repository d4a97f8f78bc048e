#pragma once

#include <QString>

// Watches one directory with inotify and tells when a file of a given name appears there (made
// directly or renamed into place, as the readiness registry does). Woken by the kernel, not by
// a poll, so the time it reports is when the file appeared plus a wake-up.
class FileAppearance
{
public:
    explicit FileAppearance(const QString& directory);
    ~FileAppearance();
    FileAppearance(const FileAppearance&) = delete;
    FileAppearance& operator=(const FileAppearance&) = delete;

    bool isValid() const { return m_watch >= 0; }
    // Steady-clock nanoseconds at which the file was seen, or -1 after the time-out. A file that
    // is already there is seen at once.
    qint64 waitFor(const QString& name, int timeoutMs) const;

    static qint64 now();

private:
    bool sawInEvents(const QString& name) const;

    QString m_directory;
    int m_fd = -1;
    int m_watch = -1;
};
