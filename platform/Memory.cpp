// Memory figures from the kernel.
#include "platform/Memory.h"

#include <QByteArray>
#include <QFile>

#include <unistd.h>

qint64 AvailableMemoryBytes()
{
    // /proc/meminfo counts reclaimable caches as available, as the allocator will; the free
    // pages of sysconf do not.
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        const QByteArray all = meminfo.read(4096);
        const qsizetype at = all.indexOf("MemAvailable:");
        if (at >= 0) {
            const QByteArray line = all.mid(at + 13, all.indexOf('\n', at) - at - 13).trimmed();
            bool ok = false;
            const qint64 kb = line.split(' ').value(0).toLongLong(&ok);
            if (ok && kb > 0)
                return kb * 1024;
        }
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
}
