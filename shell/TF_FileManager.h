// The file manager: a dockable tool window with the computer's folders in a tree (the toolkit's
// file-system model) above the files of the chosen folder (read, filtered by the settings'
// extensions and sorted off the GUI thread). It opens projects, older projects and images on a
// double-click, previews pictures while the left button is held on them and shows where other
// roads opened a file. A folder that cannot be read says so under the list.
#pragma once

#include <QFileIconProvider>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class FileListModel;
class QFileSystemModel;
class QFileSystemWatcher;
class QTimer;
class QLabel;
class QTreeView;

// Whether the file manager lists a file of this name (folders are always listed): every file when
// `everything`, else a name that holds "." followed by one of the extensions anywhere, letter case
// ignored ("photo.jpg.txt" is listed for "jpg").
bool FileManagerListsFile(const QString& fileName, bool everything, const QStringList& extensions);

// The same test with the extensions made ready once, for a folder of many names.
class FileManagerFilter {
public:
    FileManagerFilter(bool everything, const QStringList& extensions);
    bool lists(const QString& fileName) const;

private:
    bool m_everything;
    bool m_asciiNeedles = true;
    QStringList m_needles; // "." + extension, upper case
};

// The folder tree's icons and types: a file's come without asking the MIME database, which the
// toolkit's plain provider does for every entry of every folder it reads (files included, though
// the tree shows folders only).
class FolderTreeIcons : public QAbstractFileIconProvider {
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

// Why the folder cannot be listed; empty when it can.
QString FolderProblem(const QString& path);

class TF_FileManager : public QWidget {
    Q_OBJECT
public:
    explicit TF_FileManager(QWidget* parent = nullptr);
    ~TF_FileManager() override;

    static constexpr int ColumnWidth = 200;
    static constexpr int RelistDelayMs = 250; // changes of the listed folder gathered this long

    QTreeView* VET = nullptr;       // folders
    QFileSystemModel* Model = nullptr;
    QTreeView* FileList = nullptr;  // files of the folder chosen in VET
    FileListModel* Files = nullptr;
    QLabel* L_Error = nullptr;      // the last folder that could not be read

    // Goes to a file or folder: the old branch folds, the target's folders open and it is
    // selected (a file once its folder is listed; one the settings do not list leaves its folder
    // selected). False (with the reason under the list) when the path does not exist or its
    // folder cannot be read.
    bool BrowseTo(const QString& path);
    // The selected file, else the selected folder; empty without either.
    QString SelectedPath() const;
    // Opens the selected item as a double-click does; nothing while a project loads.
    void VETDblClick();
    // The listing settings changed.
    void RefreshFilter();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void VETExpanded(const QModelIndex& index);
    void folderChosen(const QString& folder);
    void listFolder(const QString& folder, const QString& fileToSelect);
    void selectPendingFile();
    void showFolderProblem(const QString& message);

    FolderTreeIcons m_icons;
    QFileSystemWatcher* m_watcher = nullptr; // lists the folder anew when its files change
    QTimer* m_relist = nullptr;              // pending listing after changes
    QString m_pressed;                 // file under the last plain left press, for the preview
    QString m_selectWhenListed;        // file name BrowseTo asked for, selected once its row comes
    QPersistentModelIndex m_browsed;   // last folder BrowseTo went to, folded on the next one
    bool m_browsing = false;           // BrowseTo moves the tree: no listing per step
};

// Made last at start-up; docked by the main window's first showing.
extern QPointer<TF_FileManager> F_FileManager;
