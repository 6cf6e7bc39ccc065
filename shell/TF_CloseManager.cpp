#include "shell/TF_CloseManager.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

QPointer<TF_CloseManager> F_CloseManager;

namespace {

constexpr int kObjectRole = Qt::UserRole + 1;

QPixmap whiteSquare()
{
    QPixmap p(16, 16);
    p.fill(Qt::white);
    return p;
}

} // namespace

TF_CloseManager::TF_CloseManager(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("F_CloseManager"));
    setWindowTitle(QStringLiteral("Close Project"));
    setWhatsThis(QStringLiteral("7500")); // help context
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    GB_Project = new QGroupBox(QStringLiteral("Project"), this);
    I_Project = new QLabel(GB_Project);
    I_Project->setFixedSize(16, 16);
    I_Project->setPixmap(whiteSquare());
    L_Projectstate = new QLabel(GB_Project);
    BB_SaveProject = new QPushButton(QStringLiteral("&Save project as..."), GB_Project);
    auto* projectRow = new QHBoxLayout(GB_Project);
    projectRow->addWidget(I_Project);
    projectRow->addWidget(L_Projectstate, 1);
    projectRow->addWidget(BB_SaveProject);

    GB_Images = new QGroupBox(QStringLiteral("Images used in this project"), this);
    VST_SO = new QTreeWidget(GB_Images);
    VST_SO->setColumnCount(2);
    VST_SO->setHeaderLabels({QString(), QStringLiteral("Filename")});
    VST_SO->setRootIsDecorated(false);
    VST_SO->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VST_SO->setSelectionBehavior(QAbstractItemView::SelectRows);
    VST_SO->setAllColumnsShowFocus(true);
    VST_SO->header()->setStretchLastSection(true);
    VST_SO->header()->resizeSection(0, 30);
    VST_SO->setColumnWidth(1, 272);
    VST_SO->header()->setStyleSheet(QStringLiteral("QHeaderView::section { background-color: #FFECD9; }"));
    BB_SaveImages = new QPushButton(QStringLiteral("&Save selected images"), GB_Images);
    auto* imagesBox = new QVBoxLayout(GB_Images);
    imagesBox->addWidget(VST_SO, 1);
    imagesBox->addWidget(BB_SaveImages, 0, Qt::AlignRight);

    B_Ok = new QPushButton(QStringLiteral("&Close project"), this);
    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(B_Ok);
    buttons->addWidget(B_Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GB_Project);
    layout->addWidget(GB_Images, 1);
    layout->addLayout(buttons);
    resize(360, 340);

    connect(BB_SaveProject, &QPushButton::clicked, this, [this] { BB_SaveProjectClick(); });
    connect(BB_SaveImages, &QPushButton::clicked, this, [this] { BB_SaveImagesClick(); });
    connect(B_Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_CloseManager::~TF_CloseManager() = default;

void TF_CloseManager::SetNodeObject(QTreeWidgetItem* node, TStitchObject* so)
{
    node->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(so)));
}

TStitchObject* TF_CloseManager::GetNodeObject(const QTreeWidgetItem* node) const
{
    if (!node || !MDI)
        return nullptr;
    auto* so = reinterpret_cast<TStitchObject*>(node->data(0, kObjectRole).value<quintptr>());
    // Images can be removed while the dialog is open: only one the window still holds counts.
    const auto& list = MDI->StitchList;
    const bool held = std::any_of(list.begin(), list.end(), [so](const auto& p) { return p.get() == so; });
    return held ? so : nullptr;
}

QString TF_CloseManager::VST_SOGetText(const QTreeWidgetItem* node, int column) const
{
    const TStitchObject* so = GetNodeObject(node);
    if (!so || column != 1)
        return QString();
    return so->filename.isEmpty() ? QStringLiteral("New image") : so->filename;
}

int TF_CloseManager::VST_SOGetImageIndex(const QTreeWidgetItem* node, int column) const
{
    const TStitchObject* so = GetNodeObject(node);
    if (!so || column != 0)
        return -1;
    int index = so->Embedded ? 6 : (QFile::exists(so->filename) ? 0 : 1);
    if (so->ImageChanged)
        index = 7;
    return index;
}

void TF_CloseManager::repaintTree()
{
    for (int i = 0; i < VST_SO->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = VST_SO->topLevelItem(i);
        node->setIcon(0, ImageTreeModel::IL_SO(VST_SOGetImageIndex(node, 0)));
        node->setText(1, VST_SOGetText(node, 1));
    }
}

void TF_CloseManager::MakeReport(TF_SMDI* f)
{
    VST_SO->clear();
    I_Project->setPixmap(whiteSquare());
    if (!f)
        return;
    MDI = f;
    // A changed image that is neither embedded nor in its own file is work the project file lacks.
    const bool changed = !f->ProjectSaved();
    I_Project->setPixmap(ImageTreeModel::IL_SO(changed ? 8 : 9).pixmap(16, 16));
    L_Projectstate->setText(changed ? QStringLiteral("The project is NOT saved!")
                                    : QStringLiteral("The project is saved!"));
    for (const auto& so : f->StitchList) {
        auto* node = new QTreeWidgetItem(VST_SO);
        SetNodeObject(node, so.get());
        node->setSelected(so->ImageChanged);
    }
    repaintTree();
}

void TF_CloseManager::BB_SaveProjectClick()
{
    QPointer<TF_SMDI> window = MDI;
    if (!window || !F_Main)
        return;
    // The save command works on the active window: make it the one being closed.
    F_Main->ActivateMDIChild(window);
    if (F_Main->ActiveMDIChild() == window)
        F_Main->A_SaveProjectExecute();
    else
        TF_ErrorLog::AddLog(0, QStringLiteral("Error saving project ") + window->Project->Name);
    // The report shows what the save really did: a cancelled or failed save stays "NOT saved".
    MakeReport(window);
}

void TF_CloseManager::BB_SaveImagesClick()
{
    QPointer<TF_SMDI> window = MDI;
    if (!window)
        return;
    QList<QTreeWidgetItem*> selected;
    for (int i = 0; i < VST_SO->topLevelItemCount(); ++i)
        if (VST_SO->topLevelItem(i)->isSelected())
            selected << VST_SO->topLevelItem(i);

    QPointer<TF_Progress> progress = F_Progress;
    if (progress) {
        progress->L_1->setText(QStringLiteral("Saving files... "));
        progress->L_2->setText(QString());
        progress->PB->setRange(0, std::max(0, int(selected.size()) - 1));
        progress->PB->setValue(0);
        progress->show();
    }
    try {
        for (QTreeWidgetItem* node : selected) {
            TStitchObject* so = window ? GetNodeObject(node) : nullptr;
            if (!so)
                continue;
            FileDialogRequest request = F_Main ? F_Main->SD_Image : FileDialogRequest{};
            request.fileName = so->filename;
            if (QFile::exists(so->filename)) {
                if (progress) {
                    progress->L_2->setText(so->filename);
                    progress->DoStep();
                }
                so = window ? GetNodeObject(node) : nullptr; // the step ran events
                if (!so)
                    continue;
                if (window->SaveImage(so, so->filename) == 0)
                    so->ImageChanged = false;
            } else {
                const QString ext = ExtractFileExt(so->filename).toLower();
                request.filterIndex = ext == QLatin1String(".jpg") ? 2 : ext == QLatin1String(".png") ? 3 : 1;
                const FileDialogAnswer answer = dialogs().saveFile(request);
                if (!answer.accepted || answer.fileName().isEmpty())
                    break;
                so = window ? GetNodeObject(node) : nullptr;
                if (!so)
                    continue;
                const QString typeExt = ImageSaveExtension(answer.filterIndex);
                QString name = answer.fileName();
                name = ExtractFileExt(name).isEmpty() ? name + typeExt : ChangeFileExt(name, typeExt);
                if (window->SaveImage(so, name) == 0) {
                    so->ImageChanged = false;
                    so->filename = name;
                    window->document().setChanged(true); // the project file still names no file for it
                }
            }
            repaintTree();
            if (F_Measurements && F_Measurements->VST_SO)
                F_Measurements->VST_SO->viewport()->update();
        }
    } catch (const std::exception& e) {
        TF_ErrorLog::Error(QStringLiteral("Error saving images: ") + QString::fromLocal8Bit(e.what()), true);
    }
    if (progress)
        progress->hide();
    MakeReport(window);
}

void TF_CloseManager::FormShow()
{
    if (MDI)
        MakeReport(MDI);
}

void TF_CloseManager::placeOverMainWindow()
{
    if (!F_Main)
        return;
    QRect r = geometry();
    r.moveCenter(F_Main->geometry().center());
    move(r.topLeft());
}

void TF_CloseManager::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    placeOverMainWindow();
    FormShow();
}
