// A tmpfs through the raw system calls, in a mount namespace of the calling thread.
#include "support/SmallDisk.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testhelpers {

namespace {

const char kBallast[] = ".ballast";
constexpr qint64 kPage = 4096;

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

SmallDisk::SmallDisk(qint64 bytes)
{
    if (!m_dir.isValid()) {
        m_reason = QStringLiteral("no temporary folder");
        return;
    }
    // A private namespace keeps the mount from outliving a crashed test or showing to others.
    if (unshare(CLONE_NEWNS) != 0) {
        m_reason = systemError("unshare");
        return;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        m_reason = systemError("private mounts");
        return;
    }
    const QByteArray where = QFile::encodeName(m_dir.path());
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (mount("jex4test", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) != 0) {
        m_reason = systemError("mount");
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

QString SmallDisk::path(const QString& name) const
{
    return QDir(m_dir.path()).filePath(name);
}

bool SmallDisk::fillLeaving(qint64 freeBytes)
{
    if (!m_mounted)
        return false;
    const QByteArray name = QFile::encodeName(path(QLatin1String(kBallast)));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return false;
    const QByteArray chunk(64 * 1024, 'x');
    qint64 size = lseek(fd, 0, SEEK_END);
    for (;;) {
        const ssize_t n = ::write(fd, chunk.constData(), size_t(chunk.size()));
        if (n <= 0)
            break;
        size += n;
    }
    const bool full = errno == ENOSPC;
    // Whole pages come free only when whole pages are cut off.
    const qint64 keep = qMax<qint64>(0, (size / kPage) * kPage - ((freeBytes + kPage - 1) / kPage) * kPage);
    const bool cut = ftruncate(fd, keep) == 0;
    ::close(fd);
    return full && cut;
}

void SmallDisk::empty()
{
    QFile::remove(path(QLatin1String(kBallast)));
}

QStringList SmallDisk::entries() const
{
    QStringList names = QDir(m_dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                                     QDir::Name);
    names.removeAll(QLatin1String(kBallast));
    return names;
}

} // namespace testhelpers
