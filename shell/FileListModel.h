// The files of one folder for the file manager's list: read, filtered by the settings' extensions
// and sorted on a pool thread, then handed to the view in slices, so a folder of tens of
// thousands of files never holds the window up. Columns: name, size, type, modified.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <memory>

class QTimer;

struct FileListEntry {
    QString name;
    qint64 size = 0;
    QDateTime modified;
};

// Files before order: by extension, then name, letter case ignored (then exact, so the order is
// total). Pure, for the lister and its tests.
bool FileListLess(const FileListEntry& a, const FileListEntry& b);

// Puts the files in FileListLess order; quicker than std::sort with it for many plain names.
void SortFileList(QVector<FileListEntry>& entries);

// Reads the folder's files that the settings list, sorted. `cancelled` is polled between files.
QVector<FileListEntry> ListFolderFiles(const QString& folder, bool everything, const QStringList& extensions,
                                       const std::atomic<bool>* cancelled = nullptr);

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName, ColSize, ColType, ColModified, ColumnCount };
    static constexpr int SliceRows = 1000; // rows handed to the view per turn of the event loop

    explicit FileListModel(QObject* parent = nullptr);
    ~FileListModel() override;

    // Lists `folder` anew with the current settings; the rows of the previous listing go at once.
    void setFolder(const QString& folder);
    // Reads the folder again. Rows still there stay (with the view's selection and scrolling),
    // changed ones update and new or gone ones come or go in place; a folder that changed in more
    // than MergeRows files is listed anew as by setFolder.
    void refresh();
    static constexpr int MergeRows = 100;
    QString folder() const { return m_folder; }
    // Still reading or handing over rows.
    bool isListing() const;

    QString filePath(int row) const;
    // Row of a file name; -1 when it is not (yet) listed.
    int rowOf(const QString& name) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

signals:
    // Every row of the folder is in.
    void listed();

private:
    struct Listing;
    void startListing(bool merge);
    void poll();
    bool merge(QVector<FileListEntry>& fresh);

    QString m_folder;
    QVector<FileListEntry> m_rows;
    std::shared_ptr<Listing> m_listing; // shared with the pool thread reading it
    QVector<FileListEntry> m_pending;    // read, not yet handed to the view
    QTimer* m_poll = nullptr;
};
