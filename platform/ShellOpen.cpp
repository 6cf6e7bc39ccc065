// Web addresses to the desktop's browser, folders to its file manager and documents to their
// programs, through QDesktopServices.
#include "platform/ShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace {

UrlOpener& opener()
{
    static UrlOpener current;
    return current;
}

} // namespace

bool IsWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

bool ShellOpenUrl(const QUrl& url)
{
    // Anything else (file:, a program, a mail client) could start what a server named.
    if (!IsWebAddress(url))
        return false;
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

bool ShellOpenFolder(const QString& folder)
{
    // A file would be started by whatever program the desktop has for it.
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir())
        return false;
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

bool ShellOpenDocument(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.isFile() || info.isExecutable())
        return false;
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

UrlOpener setUrlOpener(UrlOpener replacement)
{
    UrlOpener previous = std::move(opener());
    opener() = std::move(replacement);
    return previous;
}
