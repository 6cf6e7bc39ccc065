// A small file system of its own for one test, to fill up and watch writers meet a full disk.
// The tmpfs is mounted in a mount namespace private to the calling thread, so it goes away with the
// test process whatever happens; writers under test must run on that thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testhelpers {

class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes = qint64(4) << 20);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // False where mounting is refused (no privilege in a container); skipReason() says why.
    bool mounted() const { return m_mounted; }
    QString skipReason() const { return m_reason; }

    QString path(const QString& name) const;
    // Takes every free byte but about `freeBytes` (in whole pages); true when the disk is that full.
    bool fillLeaving(qint64 freeBytes);
    // Gives the ballast back.
    void empty();
    // The names in the disk's root, the ballast left out, sorted.
    QStringList entries() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_reason;
};

} // namespace testhelpers

// Skips the current test with the reason when the disk could not be mounted.
#define SKIP_WITHOUT_SMALL_DISK(disk)                                                                       \
    do {                                                                                                    \
        if (!(disk).mounted())                                                                              \
            GTEST_SKIP() << "No small file system to fill: " << (disk).skipReason().toStdString();          \
    } while (false)
