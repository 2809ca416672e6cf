#pragma once

// A folder on a filesystem of its own that a test can fill: a small tmpfs
// where the test may mount one (as root, as in CI), else the process's file
// size limit stands in for the room left (inherited by programs it starts).

#include <QDir>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

class FullDisk
{
public:
    explicit FullDisk(const QString &folder) : folder(folder)
    {
        QDir().mkpath(folder);
        isMounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                          "size=2m") == 0;
        getrlimit(RLIMIT_FSIZE, &limitBefore);
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &limitBefore);
        signal(SIGXFSZ, SIG_DFL);
        if (isMounted) ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk &) = delete;
    // Whether the folder is a filesystem of its own, rather than under a size limit.
    bool mounted() const { return isMounted; }
    FullDisk &operator=(const FullDisk &) = delete;

    // Fills the filesystem up to room bytes (in whole pages); without a
    // filesystem of its own, no file may grow past room bytes from now on.
    void leaveRoom(qint64 room)
    {
        if (!isMounted) {
            signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
            const rlimit limit{rlim_t(room), limitBefore.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
            return;
        }
        QFile fill(folder + QStringLiteral("/fill"));
        ASSERT_TRUE(fill.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
        const QByteArray block(4096, '\0');
        while (fill.write(block) == block.size()) {
        }
        ASSERT_TRUE(fill.resize(std::max<qint64>(0, fill.size() - room)));
    }

private:
    QString folder;
    bool isMounted = false;
    rlimit limitBefore{};
};
