// File manager: folder tree, file list, browsing, opening, preview.
#include "shell/TF_FileManager.h"

#include "project/Helpers.h"
#include "project/Settings.h"
#include "shell/FileListModel.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "workspace/HelpersWidgets.h"
#include "workspace/TF_Preview.h"
#include "workspace/ToolWindows.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

QPointer<TF_FileManager> F_FileManager;

bool FileManagerListsFile(const QString& fileName, bool everything, const QStringList& extensions)
{
    return FileManagerFilter(everything, extensions).lists(fileName);
}

namespace {

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

FileManagerFilter::FileManagerFilter(bool everything, const QStringList& extensions)
    : m_everything(everything)
{
    for (const QString& ext : extensions) {
        m_needles << QLatin1Char('.') + ext.toUpper();
        m_asciiNeedles = m_asciiNeedles && isAscii(m_needles.last());
    }
}

bool FileManagerFilter::lists(const QString& fileName) const
{
    if (m_everything)
        return true;
    if (m_asciiNeedles && isAscii(fileName)) {
        // The upper-case copy, compared in place.
        auto matchesAt = [&fileName](qsizetype at, const QString& needle) {
            if (at + needle.size() > fileName.size())
                return false;
            for (qsizetype k = 0; k < needle.size(); ++k) {
                char16_t c = fileName[at + k].unicode();
                if (c >= u'a' && c <= u'z')
                    c -= u'a' - u'A';
                if (c != needle[k].unicode())
                    return false;
            }
            return true;
        };
        for (qsizetype at = fileName.indexOf(QLatin1Char('.')); at >= 0; at = fileName.indexOf(QLatin1Char('.'), at + 1))
            for (const QString& needle : m_needles)
                if (matchesAt(at, needle))
                    return true;
        return false;
    }
    const QString upper = fileName.toUpper();
    for (const QString& needle : m_needles)
        if (upper.contains(needle))
            return true;
    return false;
}

QIcon FolderTreeIcons::icon(const QFileInfo& info) const
{
    return info.isFile() ? QIcon() : QAbstractFileIconProvider::icon(info);
}

QString FolderTreeIcons::type(const QFileInfo& info) const
{
    return info.isFile() ? QStringLiteral("File") : QAbstractFileIconProvider::type(info);
}

QString FolderProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Folder ") + path + QStringLiteral(" does not exist");
    if (!info.isDir())
        return QString();
    // Listing needs read and search rights, checked as the listing will run (effective ids);
    // without them the tree would just look empty.
    if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | X_OK, AT_EACCESS) != 0)
        return QStringLiteral("Folder ") + path + QStringLiteral(" cannot be read: access denied");
    return QString();
}

// ---- window ----

TF_FileManager::TF_FileManager(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("File manager"));
    setMinimumWidth(50);
    setMaximumWidth(800);
    resize(264, 232);

    Model = new QFileSystemModel(this);
    Model->setReadOnly(true);
    Model->setIconProvider(&m_icons);
    Model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    Model->setOption(QFileSystemModel::DontUseCustomDirectoryIcons);
    Model->setRootPath(QDir::rootPath());

    VET = new QTreeView(this);
    VET->setModel(Model);
    VET->setHeaderHidden(true);
    for (int c = 1; c < Model->columnCount(); ++c)
        VET->setColumnHidden(c, true);
    VET->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VET->setUniformRowHeights(true);
    VET->setDragEnabled(true);
    VET->setDragDropMode(QAbstractItemView::DragOnly);

    Files = new FileListModel(this);
    FileList = new QTreeView(this);
    FileList->setModel(Files);
    FileList->setRootIsDecorated(false);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileList->setUniformRowHeights(true); // many thousand rows lay out in no time
    FileList->setDragEnabled(true);       // files go to image windows and other programs
    FileList->setDragDropMode(QAbstractItemView::DragOnly);
    FileList->header()->setSectionsMovable(true);
    for (int c = 0; c < FileListModel::ColumnCount; ++c)
        FileList->setColumnWidth(c, ColumnWidth);

    for (QTreeView* view : {VET, FileList}) {
        QPalette pal = view->palette();
        pal.setColor(QPalette::Text, Qt::black);
        pal.setColor(QPalette::HighlightedText, Qt::white);
        view->setPalette(pal);
        view->setMouseTracking(true);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }
    connect(VET, &QTreeView::expanded, this, &TF_FileManager::VETExpanded);
    connect(VET->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!m_browsing && current.isValid())
            folderChosen(Model->filePath(current));
    });
    connect(FileList, &QTreeView::doubleClicked, this, [this] { VETDblClick(); });
    connect(FileList->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        const QString path = SelectedPath();
        if (!path.isEmpty())
            WindowValues().FileManager.SelectedPath = path;
    });
    connect(Files, &QAbstractItemModel::rowsInserted, this, &TF_FileManager::selectPendingFile);

    // A busy folder reports changes hundreds of times a second: the first starts a wait of
    // RelistDelayMs, during which the folder is not watched (its further changes would only wake
    // the program; the listing after the wait reads them all). Then the watch resumes and the
    // folder is read again, its rows brought up to date in place. A wait that ends while a
    // listing is on its way starts again, so the list ends with the folder's last state.
    m_relist = new QTimer(this);
    m_relist->setSingleShot(true);
    m_relist->setInterval(RelistDelayMs);
    connect(m_relist, &QTimer::timeout, this, [this] {
        const QString folder = Files->folder();
        if (folder.isEmpty())
            return;
        if (Files->isListing()) {
            m_relist->start();
            return;
        }
        showFolderProblem(FolderProblem(folder));
        if (!m_watcher->directories().contains(folder))
            m_watcher->addPath(folder);
        m_selectWhenListed = QFileInfo(SelectedPath()).fileName();
        Files->refresh();
    });
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString& folder) {
        if (folder != Files->folder() || m_relist->isActive())
            return;
        m_watcher->removePath(folder);
        m_relist->start();
    });

    L_Error = new QLabel(this);
    L_Error->setWordWrap(true);
    L_Error->setStyleSheet(QStringLiteral("color: #B00000"));
    L_Error->hide();

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(VET);
    split->addWidget(FileList);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    // Docked among other windows both lists scroll in a few rows each.
    VET->setMinimumHeight(40);
    FileList->setMinimumHeight(40);
    SetDockedMinimumHeight(this, 100);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(split, 1);
    layout->addWidget(L_Error);

    WindowValues().FileManager.Form = this;
}

TF_FileManager::~TF_FileManager()
{
    if (F_FileManager == this)
        F_FileManager = nullptr;
}

void TF_FileManager::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    const int nameWidth = WindowValues().FileManager.FilenameWidth;
    if (nameWidth > 0)
        FileList->setColumnWidth(FileListModel::ColName, nameWidth);
}

QString TF_FileManager::SelectedPath() const
{
    const QModelIndex file = FileList->currentIndex();
    if (file.isValid() && FileList->selectionModel()->isSelected(file.siblingAtColumn(0)))
        return Files->filePath(file.row());
    const QModelIndex folder = VET->currentIndex();
    return folder.isValid() ? Model->filePath(folder) : QString();
}

void TF_FileManager::RefreshFilter()
{
    if (!Files->folder().isEmpty())
        listFolder(Files->folder(), QFileInfo(SelectedPath()).fileName());
}

void TF_FileManager::showFolderProblem(const QString& message)
{
    if (message.isEmpty()) {
        L_Error->clear();
        L_Error->hide();
        return;
    }
    L_Error->setText(message);
    L_Error->show();
    TF_ErrorLog::AddLog(0, message);
}

void TF_FileManager::VETExpanded(const QModelIndex& index)
{
    showFolderProblem(FolderProblem(Model->filePath(index)));
}

void TF_FileManager::folderChosen(const QString& folder)
{
    WindowValues().FileManager.SelectedPath = folder;
    if (folder != Files->folder())
        listFolder(folder, QString());
}

void TF_FileManager::listFolder(const QString& folder, const QString& fileToSelect)
{
    showFolderProblem(FolderProblem(folder));
    m_relist->stop(); // this listing reads the changes too
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_watcher->addPath(folder);
    m_selectWhenListed = fileToSelect;
    Files->setFolder(folder);
}

void TF_FileManager::selectPendingFile()
{
    if (m_selectWhenListed.isEmpty())
        return;
    const int row = Files->rowOf(m_selectWhenListed);
    if (row < 0)
        return;
    m_selectWhenListed.clear();
    const QModelIndex index = Files->index(row, 0);
    FileList->setCurrentIndex(index);
    FileList->scrollTo(index);
}

bool TF_FileManager::BrowseTo(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        showFolderProblem(FolderProblem(path));
        return false;
    }
    const QString target = info.absoluteFilePath();
    const QString folder = info.isDir() ? target : info.absolutePath();

    m_browsing = true;
    if (m_browsed.isValid() && m_browsed != Model->index(folder))
        VET->collapse(m_browsed);
    // The model makes the chain of folders down to the target at once; their other entries come
    // in from its own thread while the window goes on.
    const QModelIndex folderIndex = Model->index(folder);
    for (QModelIndex p = folderIndex.parent(); p.isValid(); p = p.parent())
        VET->expand(p);
    VET->setCurrentIndex(folderIndex);
    VET->scrollTo(folderIndex);
    m_browsed = folderIndex;
    m_browsing = false;

    WindowValues().FileManager.SelectedPath = target;
    const QString file = info.isDir() ? QString() : info.fileName();
    if (folder != Files->folder() || Files->rowOf(file) < 0) {
        listFolder(folder, file);
    } else {
        m_selectWhenListed = file;
        selectPendingFile();
    }
    return L_Error->isHidden();
}

void TF_FileManager::VETDblClick()
{
    if (ProjectLoading)
        return;
    const QString file = SelectedPath();
    if (file.isEmpty() || QFileInfo(file).isDir() || !F_Main)
        return;
    // Projects, older projects and images open; other files do nothing.
    F_Main->OpenFile(file);
}

bool TF_FileManager::eventFilter(QObject* watched, QEvent* event)
{
    const bool onList = watched == FileList->viewport();
    switch (event->type()) {
    case QEvent::KeyPress:
        if ((watched == VET || watched == FileList) && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete)
            return true; // nothing is deleted from the keyboard
        break;
    case QEvent::MouseButtonPress:
        if (onList) {
            auto* e = static_cast<QMouseEvent*>(event);
            // A plain left press starts the preview; the popup shows after its delay.
            if (e->button() == Qt::LeftButton && e->buttons() == Qt::LeftButton && e->modifiers() == Qt::NoModifier
                && F_Preview) {
                m_pressed = Files->filePath(FileList->indexAt(e->position().toPoint()).row());
                F_Preview->SelectedFile = [this] { return m_pressed; };
                F_Preview->Timer1->start();
            }
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (onList && F_Preview)
            F_Preview->Timer1->stop();
        break;
    case QEvent::MouseButtonRelease:
        if (onList && F_Preview)
            F_Preview->close();
        break;
    case QEvent::MouseMove:
        if (onList || watched == VET->viewport()) {
            if (F_Main)
                F_Main->MouseOverImage = false;
            auto* view = onList ? FileList : VET;
            if (IsOwnWindowForeground() && !view->hasFocus())
                view->setFocus();
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
