// File list of one folder, read off the GUI thread.
#include "shell/FileListModel.h"

#include "project/Settings.h"
#include "shell/TF_FileManager.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QMutex>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

QStringView extensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? QStringView(name).mid(dot + 1) : QStringView();
}

} // namespace

bool FileListLess(const FileListEntry& a, const FileListEntry& b)
{
    const int byExt = extensionOf(a.name).compare(extensionOf(b.name), Qt::CaseInsensitive);
    if (byExt != 0)
        return byExt < 0;
    const int byName = a.name.compare(b.name, Qt::CaseInsensitive);
    return byName != 0 ? byName < 0 : a.name < b.name;
}

namespace {

// A name's place in the sort. An ASCII name's key holds its extension and its name with letters
// in lower case, then the name as it is, each ended by a zero: two such keys compare byte by byte
// as FileListLess compares the names. Any other pair is compared by FileListLess.
struct SortKey {
    int entry;
    bool ascii;
    std::string key;
};

SortKey sortKeyOf(const QString& name, int entry)
{
    SortKey k{entry, std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; }), {}};
    if (!k.ascii)
        return k;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype extAt = dot > 0 ? dot + 1 : name.size();
    k.key.reserve(size_t(name.size() * 2 - extAt + 3));
    auto lower = [](QChar c) {
        const char ch = char(c.unicode());
        return ch >= 'A' && ch <= 'Z' ? char(ch + ('a' - 'A')) : ch;
    };
    for (qsizetype i = extAt; i < name.size(); ++i)
        k.key += lower(name[i]);
    k.key += '\0';
    for (const QChar c : name)
        k.key += lower(c);
    k.key += '\0';
    for (const QChar c : name)
        k.key += char(c.unicode());
    return k;
}

} // namespace

void SortFileList(QVector<FileListEntry>& entries)
{
    std::vector<SortKey> keys;
    keys.reserve(size_t(entries.size()));
    for (int i = 0; i < int(entries.size()); ++i)
        keys.push_back(sortKeyOf(entries[i].name, i));
    std::sort(keys.begin(), keys.end(), [&entries](const SortKey& a, const SortKey& b) {
        return a.ascii && b.ascii ? a.key < b.key : FileListLess(entries[a.entry], entries[b.entry]);
    });
    QVector<FileListEntry> sorted;
    sorted.reserve(entries.size());
    for (const SortKey& k : keys)
        sorted.push_back(std::move(entries[k.entry]));
    entries = std::move(sorted);
}

QVector<FileListEntry> ListFolderFiles(const QString& folder, bool everything, const QStringList& extensions,
                                       const std::atomic<bool>* cancelled)
{
    const FileManagerFilter filter(everything, extensions);
    QVector<FileListEntry> entries;
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            return {};
        const QFileInfo info = it.nextFileInfo();
        QString name = info.fileName();
        if (!filter.lists(name))
            continue;
        entries.push_back({std::move(name), info.size(), info.lastModified()});
    }
    SortFileList(entries);
    return entries;
}

// What the pool thread fills and the GUI thread collects. The thread tells the model once it is
// done, unless the model has let the listing go by then.
struct FileListModel::Listing {
    std::atomic<bool> cancelled{false};
    QMutex mutex;
    FileListModel* model = nullptr; // guarded by mutex
    bool done = false;
    bool merge = false; // the rows shown are brought to the new ones in place
    QVector<FileListEntry> entries;

    void dropped()
    {
        cancelled = true; // the thread drops what it read
        const QMutexLocker lock(&mutex);
        model = nullptr;
    }
};

FileListModel::FileListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    // No wait between slices: the window paints and takes input between two turns anyway.
    m_poll = new QTimer(this);
    m_poll->setInterval(0);
    connect(m_poll, &QTimer::timeout, this, &FileListModel::poll);
}

FileListModel::~FileListModel()
{
    if (m_listing)
        m_listing->dropped();
}

void FileListModel::setFolder(const QString& folder)
{
    if (m_listing)
        m_listing->dropped();
    m_poll->stop();
    beginResetModel();
    m_folder = folder;
    m_rows.clear();
    m_pending.clear();
    endResetModel();

    startListing(false);
}

void FileListModel::refresh()
{
    if (m_listing || !m_pending.isEmpty()) {
        setFolder(m_folder); // the rows shown are not the folder's whole yet
        return;
    }
    startListing(true);
}

void FileListModel::startListing(bool merge)
{
    auto listing = std::make_shared<Listing>();
    listing->model = this;
    listing->merge = merge;
    m_listing = listing;
    // The settings are read here, on the GUI thread that writes them.
    const bool everything = SettingFileManagerDisplayEverything;
    const QStringList extensions = SettingFileManagerDisplayExtensions;
    QThreadPool::globalInstance()->start([listing, folder = m_folder, everything, extensions] {
        QVector<FileListEntry> entries = ListFolderFiles(folder, everything, extensions, &listing->cancelled);
        const QMutexLocker lock(&listing->mutex);
        listing->entries = std::move(entries);
        listing->done = true;
        // Posted while the model cannot go away; one gone later takes the posted call with it.
        if (FileListModel* model = listing->model)
            QMetaObject::invokeMethod(model, [model, listing] {
                if (model->m_listing == listing)
                    model->poll();
            }, Qt::QueuedConnection);
    });
}

bool FileListModel::isListing() const
{
    return m_listing || m_poll->isActive();
}

void FileListModel::poll()
{
    if (m_listing) {
        QVector<FileListEntry> entries;
        bool merging = false;
        {
            const QMutexLocker lock(&m_listing->mutex);
            if (!m_listing->done)
                return;
            entries = std::move(m_listing->entries);
            merging = m_listing->merge;
        }
        m_listing.reset();
        if (merging && merge(entries)) {
            emit listed();
            return;
        }
        if (merging) {
            beginResetModel();
            m_rows.clear();
            endResetModel();
        }
        m_pending = std::move(entries);
    }
    m_poll->start();
    // One slice per turn: the window paints and takes input between them.
    const int n = int(std::min<qsizetype>(SliceRows, m_pending.size()));
    if (n > 0) {
        beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size()) + n - 1);
        m_rows.append(m_pending.first(n));
        m_pending.remove(0, n);
        endInsertRows();
    }
    if (m_pending.isEmpty()) {
        m_poll->stop();
        emit listed();
    }
}

bool FileListModel::merge(QVector<FileListEntry>& fresh)
{
    // Both lists are in FileListLess order: one walk finds what came and went.
    auto walk = [&fresh, this](auto&& same, auto&& gone, auto&& came) {
        qsizetype i = 0, j = 0;
        while (i < m_rows.size() || j < fresh.size()) {
            if (i < m_rows.size() && j < fresh.size() && m_rows[i].name == fresh[j].name) {
                same(i, j);
                ++i, ++j;
            } else if (j == fresh.size() || (i < m_rows.size() && FileListLess(m_rows[i], fresh[j]))) {
                if (!gone(i, j))
                    return false;
            } else if (!came(i, j)) {
                return false;
            }
        }
        return true;
    };
    int changes = 0;
    const bool few = walk([](qsizetype, qsizetype) {},
                          [&changes](qsizetype& i, qsizetype&) { ++i; return ++changes <= MergeRows; },
                          [&changes](qsizetype&, qsizetype& j) { ++j; return ++changes <= MergeRows; });
    if (!few)
        return false;
    walk(
        [&fresh, this](qsizetype i, qsizetype j) {
            FileListEntry& row = m_rows[i];
            if (row.size == fresh[j].size && row.modified == fresh[j].modified)
                return;
            row = std::move(fresh[j]);
            emit dataChanged(index(int(i), ColSize), index(int(i), ColumnCount - 1));
        },
        [&fresh, this](qsizetype& i, qsizetype& j) {
            qsizetype end = i + 1;
            while (end < m_rows.size() && (j == fresh.size() || FileListLess(m_rows[end], fresh[j])))
                ++end;
            beginRemoveRows(QModelIndex(), int(i), int(end - 1));
            m_rows.remove(i, end - i);
            endRemoveRows();
            return true;
        },
        [&fresh, this](qsizetype& i, qsizetype& j) {
            qsizetype end = j + 1;
            while (end < fresh.size() && (i == m_rows.size() || FileListLess(fresh[end], m_rows[i])))
                ++end;
            beginInsertRows(QModelIndex(), int(i), int(i + end - j - 1));
            m_rows.insert(i, end - j, FileListEntry());
            std::move(fresh.begin() + j, fresh.begin() + end, m_rows.begin() + i);
            endInsertRows();
            i += end - j;
            j = end;
            return true;
        });
    return true;
}

QString FileListModel::filePath(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    return QDir(m_folder).filePath(m_rows[row].name);
}

int FileListModel::rowOf(const QString& name) const
{
    for (int r = 0; r < m_rows.size(); ++r)
        if (m_rows[r].name == name)
            return r;
    return -1;
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const FileListEntry& e = m_rows[index.row()];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case ColName: return e.name;
        case ColSize: return QLocale().formattedDataSize(e.size);
        case ColType: {
            const QStringView ext = extensionOf(e.name);
            return ext.isEmpty() ? QStringLiteral("File") : ext.toString().toUpper() + QStringLiteral(" File");
        }
        case ColModified: return QLocale().toString(e.modified, QLocale::ShortFormat);
        default: return {};
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() == ColSize)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColName: return QStringLiteral("Name");
    case ColSize: return QStringLiteral("Size");
    case ColType: return QStringLiteral("Type");
    case ColModified: return QStringLiteral("Modified");
    default: return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList FileListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex& index : indexes)
        if (index.column() == ColName)
            urls << QUrl::fromLocalFile(filePath(index.row()));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}
