// The batch converter's two pages, its folder scan with the busy box and its conversion loop with
// the progress box.
#include "shell/TF_ConvertJEX3.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "platform/ShellOpen.h"
#include "project/JEX3Project.h"
#include "project/ProjectDocument.h"
#include "project/ProjectIO.h"
#include "project/ProjectXML.h"
#include "project/TJEXProject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Progress.h"
#include "shell/TF_Progress2.h"
#include "shell/TFindFile.h"
#include "shell/TPageControlEx.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <exception>

namespace {

// The computer's folders and files with the columns of the older program's folder tree: the
// toolkit's four and the attributes as letters.
class FolderTreeModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;

    static constexpr int AttributesColumn = 4;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.column() > 0 ? 0 : AttributesColumn + 1;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (index.column() != AttributesColumn)
            return QFileSystemModel::data(index, role);
        if (role != Qt::DisplayRole)
            return QVariant();
        const TAttrOptions attrs = TFindFile::EntryAttributes(filePath(index));
        QString letters;
        for (const auto& [bit, letter] : {std::pair{ffReadOnly, 'R'}, {ffHidden, 'H'}, {ffSystem, 'S'},
                                          {ffDirectory, 'D'}, {ffArchive, 'A'}})
            if (attrs & bit)
                letters += QLatin1Char(letter);
        return letters;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            static const char* const captions[] = {"Name", "Size", "Type", "Modified", "Attributes"};
            if (section >= 0 && section <= AttributesColumn)
                return QString::fromLatin1(captions[section]);
        }
        return QFileSystemModel::headerData(section, orientation, role);
    }
};

// The progress box belongs to the main window, which this modal window blocks: during the
// conversion it is lent to this window, so that its Cancel button can be pressed.
class ProgressBoxLoan {
public:
    explicit ProgressBoxLoan(QWidget* borrower)
        : m_box(F_Progress)
    {
        if (!m_box || m_box->parentWidget() == borrower) {
            m_box = nullptr;
            return;
        }
        m_owner = m_box->parentWidget();
        m_box->setParent(borrower, m_box->windowFlags());
    }
    ~ProgressBoxLoan()
    {
        if (!m_box)
            return;
        m_box->hide();
        m_box->setParent(m_owner, m_box->windowFlags());
    }
    ProgressBoxLoan(const ProgressBoxLoan&) = delete;
    ProgressBoxLoan& operator=(const ProgressBoxLoan&) = delete;

private:
    QPointer<TF_Progress> m_box;
    QPointer<QWidget> m_owner;
};

// A file of this name beside it, in any letter case: the older system did not tell "CORE.JEX4"
// from "core.jex4", and neither is written over.
QString existingFileNamed(const QString& fileName)
{
    if (QFileInfo::exists(fileName))
        return fileName;
    const QFileInfo wanted(fileName);
    const QDir folder = wanted.absoluteDir();
    for (const QString& name : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (SameText(name, wanted.fileName()))
            return folder.filePath(name);
    return QString();
}

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(14);
    label->setFont(font);
    return label;
}

} // namespace

TF_ConvertJEX3::TF_ConvertJEX3(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Convert JEX3 projects"));
    setMinimumSize(640, 480);
    resize(760, 560);
    setSizeGripEnabled(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    FileFind = new TFindFile(this);
    FileFind->setRecurse(true);
    FileFind->setFilter(QStringLiteral("*.*"));
    FileFind->setBeforeExecute([](TFindFile* sender) { sender->Files().clear(); });
    FileFind->setOnNewPath([this](TFindFile*, const QString& newPath, bool& abort) { FileFindNewPath(newPath, abort); });
    FileFind->setAfterExecute([](TFindFile*) {});

    PCE = new TPageControlEx(this);
    createFirstPage();
    createSecondPage();
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(PCE);
}

TF_ConvertJEX3::~TF_ConvertJEX3() = default;

void TF_ConvertJEX3::createFirstPage()
{
    TS_1 = new QWidget;
    VETModel = new FolderTreeModel(this);
    VETModel->setReadOnly(true);
    VETModel->setFilter(QDir::AllEntries | QDir::Drives | QDir::NoDotAndDotDot);
    VETModel->setOption(QFileSystemModel::DontUseCustomDirectoryIcons);
    VETModel->setRootPath(QDir::rootPath());

    VET = new QTreeView(TS_1);
    VET->setModel(VETModel);
    VET->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VET->setUniformRowHeights(true);
    VET->header()->resizeSection(0, 280);

    CB_Recurse = new QCheckBox(QStringLiteral("Search folders recursively"), TS_1);
    CB_Recurse->setChecked(true);
    B_Cont1 = new QPushButton(QStringLiteral("Continue"), TS_1);
    connect(B_Cont1, &QPushButton::clicked, this, &TF_ConvertJEX3::B_Cont1Click);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CB_Recurse);
    bottom->addStretch(1);
    bottom->addWidget(B_Cont1);
    auto* layout = new QVBoxLayout(TS_1);
    layout->addWidget(heading(QStringLiteral("Select folder to search for JEX3 files"), TS_1));
    layout->addWidget(VET, 1);
    layout->addLayout(bottom);
    PCE->addTab(TS_1, QStringLiteral("TS_1"));
}

void TF_ConvertJEX3::createSecondPage()
{
    TS_2 = new QWidget;
    LB_Files = new QListWidget(TS_2);
    LB_Files->setUniformItemSizes(true); // thousands of rows lay out at once
    LB_Files->setContextMenuPolicy(Qt::CustomContextMenu);

    PM = new QMenu(this);
    PM_OpenFolder = PM->addAction(QStringLiteral("Open folder"), this, &TF_ConvertJEX3::PM_OpenFolderClick);
    PM_DeleteFromList =
        PM->addAction(QStringLiteral("Delete from list"), this, &TF_ConvertJEX3::PM_DeleteFromListClick);
    PM_DeleteFile = PM->addAction(QStringLiteral("Delete file"), this, &TF_ConvertJEX3::PM_DeleteFileClick);
    // Each acts on the selected entry; none while the list is being worked through.
    connect(PM, &QMenu::aboutToShow, this, [this] {
        const bool any = !m_busy && !selectedEntry().isEmpty();
        for (QAction* a : {PM_OpenFolder, PM_DeleteFromList, PM_DeleteFile})
            a->setEnabled(any);
    });
    connect(LB_Files, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PM->popup(LB_Files->viewport()->mapToGlobal(at)); });

    L_Count = new QLabel(QStringLiteral("0 JEX3 files found"), TS_2);

    auto* after = new QGroupBox(QStringLiteral("After converting "), TS_2);
    RB_Keep = new QRadioButton(QStringLiteral("keep files"), after);
    RB_Keep->setChecked(true);
    RB_Delete = new QRadioButton(QStringLiteral("delete files"), after);
    auto* afterLayout = new QHBoxLayout(after);
    afterLayout->addWidget(RB_Keep);
    afterLayout->addWidget(RB_Delete);
    afterLayout->addStretch(1);

    B_Convert = new QPushButton(QStringLiteral("Start conversion"), TS_2);
    connect(B_Convert, &QPushButton::clicked, this, &TF_ConvertJEX3::B_ConvertClick);
    B_Close = new QPushButton(QStringLiteral("&Close"), TS_2);
    connect(B_Close, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(after, 1);
    buttons->addWidget(B_Convert);
    buttons->addWidget(B_Close);
    auto* layout = new QVBoxLayout(TS_2);
    layout->addWidget(heading(QStringLiteral("Convert selection to JEX4 files"), TS_2));
    layout->addWidget(LB_Files, 1);
    layout->addWidget(L_Count);
    layout->addLayout(buttons);
    PCE->addTab(TS_2, QStringLiteral("TS_2"));
}

void TF_ConvertJEX3::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    PCE->setCurrentWidget(TS_1);
    const QString browsed = F_FileManager ? F_FileManager->SelectedPath() : QString();
    SelectFolder(browsed.isEmpty() ? QDir::homePath() : browsed);
}

void TF_ConvertJEX3::closeEvent(QCloseEvent* event)
{
    // The loops below run events: closing meanwhile would pull the list from under them.
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TF_ConvertJEX3::reject()
{
    if (!m_busy)
        QDialog::reject();
}

void TF_ConvertJEX3::SelectFolder(const QString& path)
{
    const QModelIndex index = VETModel->index(QFileInfo(path).absoluteFilePath());
    if (!index.isValid())
        return;
    VET->setCurrentIndex(index);
    VET->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

QString TF_ConvertJEX3::SelectedFolder() const
{
    const QModelIndex current = VET->currentIndex();
    if (!current.isValid())
        return QString();
    const QString path = VETModel->filePath(current);
    return VETModel->isDir(current) ? path : ExtractFileDir(path);
}

QString TF_ConvertJEX3::AbbreviatePath(const QString& path, int max)
{
    if (path.size() <= max)
        return path;
    return path.left(std::max(0, max - 16)) + QStringLiteral("...") + path.right(16);
}

void TF_ConvertJEX3::ExploreFolder(const QString& folder)
{
    if (!ShellOpenFolder(folder))
        TF_ErrorLog::AddLog(0, QStringLiteral("The folder ") + folder + QStringLiteral(" could not be opened"));
}

void TF_ConvertJEX3::FillList()
{
    for (const QString& entry : FileFind->Files())
        if (ExtractFileExt(entry).toUpper() == QStringLiteral(".JEX"))
            LB_Files->addItem(entry);
    L_Count->setText(QString::number(LB_Files->count()) + QStringLiteral(" JEX3 files found"));
}

void TF_ConvertJEX3::ClearList()
{
    LB_Files->clear();
}

void TF_ConvertJEX3::B_Cont1Click()
{
    if (m_busy)
        return;
    PCE->setCurrentWidget(TS_2);
    FileFind->setRecurse(CB_Recurse->isChecked());
    FindIt();
}

void TF_ConvertJEX3::FindIt()
{
    m_busy = true;
    FileFind->setAbort(true);
    FileFind->setDirectory(SelectedFolder());
    FileFind->setFilter(QStringLiteral("*.*"));
    QPointer<TF_Progress2> busy = new TF_Progress2(this);
    F_Progress2 = busy;
    busy->show();
    QCoreApplication::processEvents();
    FileFind->setAbort(false);
    try {
        FileFind->Execute();
    } catch (const std::exception& e) {
        TF_ErrorLog::Error(QStringLiteral("Error scanning ") + FileFind->Directory() + QStringLiteral(": ")
                               + QString::fromLocal8Bit(e.what()),
                           false);
    }
    if (busy)
        busy->hide();
    QCoreApplication::processEvents();
    FillList();
    delete busy;
    m_busy = false;
}

void TF_ConvertJEX3::FileFindNewPath(const QString& newPath, bool& abort)
{
    FillList();
    FileFind->Files().clear();
    TF_Progress2* busy = F_Progress2;
    if (!busy)
        return;
    if (busy->Tag == TF_Progress2::TagCancelled
        && MessageDlg(QStringLiteral("Cancel directory scan?"), mtConfirmation, mbYesNo) == mrYes) {
        abort = true;
        return;
    }
    if (!F_Progress2)
        return;
    busy->Tag = 0;
    if (!busy->GIF->isRunning())
        busy->GIF->start(); // stopped by Cancel; the scan goes on
    busy->L_Info->setText(QStringLiteral("Scanning directory ") + AbbreviatePath(newPath, 30));
    QCoreApplication::processEvents();
}

void TF_ConvertJEX3::B_ConvertClick()
{
    if (m_busy)
        return;
    m_busy = true;
    m_converted = 0;
    QPointer<TF_ConvertJEX3> self(this);
    {
        ProgressBoxLoan loan(this);
        QPointer<TF_Progress> progress = F_Progress;
        const int count = LB_Files->count();
        if (progress) {
            progress->L_1->setText(QStringLiteral("Converting projects"));
            progress->L_2->clear();
            progress->PB->setRange(0, count);
            progress->PB->setValue(0);
            progress->show();
            progress->repaint();
        }
        try {
            for (int i = 0; i < count; ++i) {
                const QString file = LB_Files->item(i)->text();
                if (progress) {
                    progress->L_2->setText(QStringLiteral("Converting ") + file);
                    progress->PB->setValue(i);
                }
                QCoreApplication::processEvents();
                if (progress && progress->Tag != 0) {
                    progress->Tag = 0;
                    if (MessageDlg(QStringLiteral("Cancel conversion?"), mtConfirmation, mbYesNo) == mrYes)
                        break;
                }
                if (convertOne(file))
                    ++m_converted;
            }
        } catch (const std::exception& e) {
            TF_ErrorLog::Error(QStringLiteral("Error converting projects: ") + QString::fromLocal8Bit(e.what()), false);
        }
        ShowMessage(QString::number(m_converted) + QStringLiteral(" files converted!"));
        if (progress)
            progress->hide();
    }
    m_busy = false;
    close();
}

bool TF_ConvertJEX3::convertOne(const QString& fileName)
{
    return ConvertJEX3File(fileName, RB_Delete->isChecked());
}

bool ConvertJEX3File(const QString& fileName, bool deleteSource)
{
    if (!QFileInfo(fileName).isFile())
        return false; // gone since the scan
    // A document of its own, without a window: a long list keeps nothing of the files before.
    ProjectDocument doc;
    ProjectIOHooks hooks;
    QString missingImage;
    const JEX3Import read = ImportJEX3Document(doc, fileName, hooks, false, &missingImage);
    if (read != JEX3Import::Imported && read != JEX3Import::Damaged)
        return false; // the import has said why

    const QString target = ChangeFileExt(fileName, QStringLiteral(".jex4"));
    const QString existing = existingFileNamed(target);
    if (read == JEX3Import::Damaged) {
        // Only part of it could be read: a converted part would pass for the whole project, and
        // with "delete files" the rest would be gone. The file stays for an import by hand.
        TF_ErrorLog::AddLog(0, QStringLiteral("The file ") + fileName + QStringLiteral(" is damaged and was not converted"));
        return false;
    }
    if (!existing.isEmpty()) {
        ShowMessage(QStringLiteral("File") + existing + QStringLiteral(" already exists!\r\nThis file will not be converted!"));
        return false;
    }
    if (SaveProjectXML(doc, target, hooks) != 0)
        return false;
    TF_ErrorLog::AddLog(2, QStringLiteral("JEX3 project ") + fileName + QStringLiteral(" converted to ") + target);
    if (deleteSource && !missingImage.isEmpty()) {
        // The new file cannot name the image it never found: only the source still does.
        TF_ErrorLog::AddLog(0, QStringLiteral("The file ") + fileName + QStringLiteral(" was not deleted: its image ")
                                   + missingImage + QStringLiteral(" was not found, and only this file names it"));
    } else if (deleteSource) {
        QFile source(fileName);
        if (!source.remove())
            TF_ErrorLog::AddLog(0, QStringLiteral("The file ") + fileName + QStringLiteral(" could not be deleted: ")
                                       + source.errorString());
    }
    return true;
}

QString TF_ConvertJEX3::selectedEntry() const
{
    QListWidgetItem* item = LB_Files->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void TF_ConvertJEX3::PM_OpenFolderClick()
{
    const QString entry = selectedEntry();
    if (m_busy || entry.isEmpty())
        return;
    if (QFileInfo(entry).isFile())
        ExploreFolder(ExtractFileDir(entry));
}

void TF_ConvertJEX3::PM_DeleteFromListClick()
{
    const QString entry = selectedEntry();
    if (m_busy || entry.isEmpty())
        return;
    const int row = LB_Files->currentRow();
    if (MessageDlg(QStringLiteral("Delete ") + entry + QStringLiteral(" from list?"), mtConfirmation, mbYesNo) == mrYes)
        delete LB_Files->takeItem(row);
}

void TF_ConvertJEX3::PM_DeleteFileClick()
{
    const QString entry = selectedEntry();
    if (m_busy || entry.isEmpty())
        return;
    const int row = LB_Files->currentRow();
    // Asked as what it does: a question about the list alone would delete a file unasked.
    if (MessageDlg(QStringLiteral("Delete file ") + entry + QStringLiteral("?"), mtConfirmation, mbYesNo) != mrYes)
        return;
    QFile file(entry);
    if (!file.remove()) {
        ShowMessage(QStringLiteral("The file ") + entry + QStringLiteral(" could not be deleted!\r\n\r\n")
                    + file.errorString());
        return;
    }
    delete LB_Files->takeItem(row);
    ShowMessage(entry + QStringLiteral(" successfully deleted!"));
}
