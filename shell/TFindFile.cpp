#include "shell/TFindFile.h"

#include "platform/Delphi.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <deque>

namespace {

// Entries with one of these attributes are listed only when the mask holds each of them.
constexpr TAttrOptions SpecialAttributes = ffHidden | ffSystem | ffVolumeID | ffDirectory;

TAttrOptions attributesOf(const QFileInfo& info)
{
    TAttrOptions attrs = 0;
    if (info.fileName().startsWith(QLatin1Char('.')))
        attrs |= ffHidden;
    if (info.isDir()) {
        attrs |= ffDirectory;
    } else if (info.isFile() || info.isSymLink()) { // a dangling link is an ordinary entry
        attrs |= ffArchive;
        if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
            attrs |= ffReadOnly;
    } else {
        attrs |= ffSystem;
    }
    return attrs;
}

// Every entry of the folder but "." and "..", in name order without regard to letter case (the
// order the older system's file system lists), so that scans repeat.
QFileInfoList entriesOf(const QString& folder)
{
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name | QDir::IgnoreCase);
}

bool matchFrom(const QString& pattern, const QString& name)
{
    // Greedy matching with one back-track point for the last '*'.
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size()
            && (pattern[p] == QLatin1Char('?')
                || (pattern[p] != QLatin1Char('*') && pattern[p].toCaseFolded() == name[n].toCaseFolded()))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

TFindFile::TFindFile(QObject* owner)
    : QObject(owner)
{
}

TAttrOptions TFindFile::EntryAttributes(const QString& path)
{
    return attributesOf(QFileInfo(path));
}

bool TFindFile::MatchesPattern(const QString& pattern, const QString& name)
{
    if (matchFrom(pattern, name))
        return true;
    return pattern.endsWith(QLatin1String(".*")) && !name.contains(QLatin1Char('.'))
        && matchFrom(pattern.chopped(2), name);
}

void TFindFile::Execute()
{
    const TAttrOptions mask = FAttribs & (ffReadOnly | ffHidden | ffSystem | ffVolumeID | ffDirectory | ffArchive);
    FFiles.clear();
    FTotalSpace = 0;
    FTotalDir = 0;
    FTotalFile = 0;
    if (FBeforeExecute)
        FBeforeExecute(this);
    if (!FDirectory.isEmpty()) {
        if (FRecurse)
            treeScan(FDirectory, mask);
        else
            folderScan(FDirectory, mask);
    }
    if (FAfterExecute)
        FAfterExecute(this);
}

void TFindFile::folderScan(const QString& folderIn, TAttrOptions mask)
{
    const QString folder = IncludeTrailingPathDelimiter(folderIn);
    if (FOnNewPath)
        FOnNewPath(this, folder, FAbort);
    if (FAbort)
        return;
    for (const QFileInfo& info : entriesOf(folder)) {
        const TAttrOptions attrs = attributesOf(info);
        if ((attrs & SpecialAttributes) & ~mask)
            continue;
        if (!MatchesPattern(FFilter, info.fileName()))
            continue;
        FFiles.append(folder + info.fileName());
        if (attrs == ffDirectory)
            ++FTotalDir;
        else
            ++FTotalFile;
        if (!(attrs & ffDirectory))
            FTotalSpace += info.size();
    }
}

QStringList TFindFile::listSubFolders(const QString& folder) const
{
    QStringList result;
    for (const QFileInfo& info : entriesOf(folder))
        if (info.isDir())
            result.append(folder + info.fileName() + QLatin1Char('/'));
    return result;
}

void TFindFile::treeScan(const QString& start, TAttrOptions mask)
{
    std::deque<QString> queue{IncludeTrailingPathDelimiter(start)};
    // A link back to a folder above would make the tree endless: each real folder is entered once.
    QSet<QString> entered{QFileInfo(queue.front()).canonicalFilePath()};
    while (!queue.empty()) {
        const QString folder = queue.front();
        for (const QString& sub : listSubFolders(folder)) {
            const QString real = QFileInfo(sub).canonicalFilePath();
            if (real.isEmpty() || entered.contains(real))
                continue;
            entered.insert(real);
            queue.push_back(sub);
        }
        folderScan(folder, mask);
        queue.pop_front();
        if (FAbort)
            break;
    }
}
