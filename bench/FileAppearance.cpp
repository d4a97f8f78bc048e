#include "FileAppearance.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

FileAppearance::FileAppearance(const QString& directory) : m_directory(directory)
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        m_watch = inotify_add_watch(m_fd, QFile::encodeName(directory).constData(),
                                    IN_CREATE | IN_MOVED_TO);
    }
}

FileAppearance::~FileAppearance()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

qint64 FileAppearance::now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 FileAppearance::waitFor(const QString& name, int timeoutMs) const
{
    if (!isValid()) {
        return -1;
    }
    const qint64 deadline = now() + qint64(timeoutMs) * 1000000;
    // Checked after the watch was set up, so a file made in between is not missed.
    if (QFile::exists(QDir(m_directory).filePath(name))) {
        return now();
    }
    while (now() < deadline) {
        pollfd descriptor{m_fd, POLLIN, 0};
        const int remainingMs = static_cast<int>((deadline - now()) / 1000000) + 1;
        const bool readable = ::poll(&descriptor, 1, remainingMs) > 0;
        const qint64 woken = now();
        if (readable && sawInEvents(name)) {
            return woken;
        }
    }
    return -1;
}

bool FileAppearance::sawInEvents(const QString& name) const
{
    alignas(inotify_event) char buffer[4096];
    bool seen = false;
    ssize_t length = 0;
    while ((length = ::read(m_fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (event->len > 0 && QFile::decodeName(event->name) == name) {
                seen = true;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return seen;
}
