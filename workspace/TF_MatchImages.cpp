// The alignment wizard's three pages: the image list, the tools' run with their output, and the
// pairs of images that were aligned.
#include "workspace/TF_MatchImages.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "platform/ShellOpen.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress2.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <exception>

namespace {

QWidget* whitePanel(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    return panel;
}

// The window's image the tools name: by name as the window holds it, else the same file reached
// through another spelling (a link, "..").
TStitchObject* imageNamed(const TF_SMDI* w, const QString& name)
{
    if (TStitchObject* so = w->GetStitchObjectByFilename(name))
        return so;
    const QString canonical = QFileInfo(name).canonicalFilePath();
    if (canonical.isEmpty())
        return nullptr;
    for (const auto& so : w->StitchList)
        if (QFileInfo(so->filename).canonicalFilePath() == canonical)
            return so.get();
    return nullptr;
}

} // namespace

TF_MatchImages::TF_MatchImages(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Align images"));
    resize(587, 317);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* header = whitePanel(this);
    auto* picture = new QLabel(header);
    picture->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(32, 32));
    auto* headline = new QLabel(QStringLiteral("Automatically align image series"), header);
    QFont bold = headline->font();
    bold.setBold(true);
    bold.setPixelSize(14);
    headline->setFont(bold);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->addWidget(picture);
    headerLayout->addWidget(headline, 1);

    PCE = new TPageControlEx(this);
    createPages();
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);

    B_Close = new QPushButton(QStringLiteral("Close"), this);
    connect(B_Close, &QPushButton::clicked, this, &QWidget::close);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(B_Close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header);
    layout->addWidget(PCE, 1);
    layout->addLayout(bottom);
}

TF_MatchImages::~TF_MatchImages() = default;

void TF_MatchImages::createPages()
{
    // Page 1: the images, in the order they go to the tools.
    TS1 = new QWidget;
    auto* images = new QGroupBox(QStringLiteral("Images"), TS1);
    LB_Images = new QListWidget(images);
    BB_Up = new QPushButton(QStringLiteral("\u25b2"), images);
    BB_Down = new QPushButton(QStringLiteral("\u25bc"), images);
    BB_Up->setToolTip(QStringLiteral("Move up"));
    BB_Down->setToolTip(QStringLiteral("Move down"));
    connect(BB_Up, &QPushButton::clicked, this, &TF_MatchImages::BB_UpClick);
    connect(BB_Down, &QPushButton::clicked, this, &TF_MatchImages::BB_DownClick);
    CB_DisplayOutFile = new QCheckBox(QStringLiteral("Display CPFind output"), images);
    CB_LinearMatch =
        new QCheckBox(QStringLiteral("Linear alignment (recommended, images must be in consecutive order)"), images);
    CB_LinearMatch->setChecked(true);
    BB_Next1 = new QPushButton(QStringLiteral("Start"), images);
    connect(BB_Next1, &QPushButton::clicked, this, &TF_MatchImages::BB_Next1Click);
    auto* arrows = new QVBoxLayout;
    arrows->addWidget(BB_Up);
    arrows->addWidget(BB_Down);
    arrows->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(LB_Images, 1);
    listRow->addLayout(arrows);
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(CB_LinearMatch, 1);
    startRow->addWidget(BB_Next1);
    auto* imagesLayout = new QVBoxLayout(images);
    imagesLayout->addLayout(listRow, 1);
    imagesLayout->addWidget(CB_DisplayOutFile);
    imagesLayout->addLayout(startRow);
    (new QVBoxLayout(TS1))->addWidget(images);
    PCE->addTab(TS1, QStringLiteral("TS1"));

    // Page 2: what the tools say.
    TS2 = new QWidget;
    auto* calc = new QGroupBox(QStringLiteral("Calculate control points"), TS2);
    M_DOS = new QPlainTextEdit(calc);
    M_DOS->setReadOnly(true);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(11);
    M_DOS->setFont(mono);
    P_Progress2 = new QWidget(calc);
    GIF = new BusyAnimation(P_Progress2);
    auto* progressLayout = new QHBoxLayout(P_Progress2);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addWidget(GIF);
    progressLayout->addWidget(new QLabel(QStringLiteral("Calculating control points..."), P_Progress2), 1);
    P_Progress2->hide();
    BB_Next2 = new QPushButton(QStringLiteral("Apply alignment"), calc);
    BB_Next2->setEnabled(false);
    connect(BB_Next2, &QPushButton::clicked, this, &TF_MatchImages::BB_Next2Click);
    auto* applyRow = new QHBoxLayout;
    applyRow->addWidget(P_Progress2);
    applyRow->addStretch(1);
    applyRow->addWidget(BB_Next2);
    auto* calcLayout = new QVBoxLayout(calc);
    calcLayout->addWidget(M_DOS, 1);
    calcLayout->addLayout(applyRow);
    (new QVBoxLayout(TS2))->addWidget(calc);
    PCE->addTab(TS2, QStringLiteral("TS2"));

    // Page 3: the pairs that were aligned.
    TS3 = new QWidget;
    auto* align = new QGroupBox(QStringLiteral("Alignment"), TS3);
    VST_Match = new QTreeWidget(align);
    VST_Match->setRootIsDecorated(false);
    VST_Match->setHeaderLabels({QStringLiteral("Image1"), QStringLiteral("Image2"), QStringLiteral("Control points")});
    VST_Match->setColumnWidth(0, 150);
    VST_Match->setColumnWidth(1, 150);
    VST_Match->setColumnWidth(2, 100);
    P_Warning = new QWidget(align);
    auto* warningIcon = new QLabel(P_Warning);
    warningIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
    auto* warningLayout = new QHBoxLayout(P_Warning);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    warningLayout->addWidget(warningIcon);
    warningLayout->addWidget(new QLabel(QStringLiteral("Some images could not be matched!"), P_Warning), 1);
    P_Warning->hide();
    BB_Next3 = new QPushButton(QStringLiteral("Restart"), align);
    connect(BB_Next3, &QPushButton::clicked, this, &TF_MatchImages::BB_Next3Click);
    auto* restartRow = new QHBoxLayout;
    restartRow->addWidget(P_Warning);
    restartRow->addStretch(1);
    restartRow->addWidget(BB_Next3);
    auto* alignLayout = new QVBoxLayout(align);
    alignLayout->addWidget(VST_Match, 1);
    alignLayout->addLayout(restartRow);
    (new QVBoxLayout(TS3))->addWidget(align);
    PCE->addTab(TS3, QStringLiteral("TS3"));
}

QString TF_MatchImages::TempFolder() const
{
    return m_temp && m_temp->isValid() ? m_temp->path() + QLatin1Char('/') : QString();
}

void TF_MatchImages::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CPList.clear();
    Pairings.clear();
    if (!m_temp) {
        // Its own folder inside the program's private one: the tools' files of two wizards never meet.
        const QString base = GetTempFolder();
        m_temp = std::make_unique<QTemporaryDir>(base + QStringLiteral("align-XXXXXX"));
    }
    LB_Images->clear();
    if (SMDI) {
        const bool anySelected = F_Measurements && F_Measurements->VST_SO
            && F_Measurements->VST_SO->selectionModel()->hasSelection();
        for (size_t i = 0; i < SMDI->StitchList.size(); ++i) {
            const TStitchObject* so = SMDI->StitchList[i].get();
            auto* item = new QListWidgetItem(so->filename, LB_Images);
            item->setData(Qt::UserRole, int(i));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(!anySelected || F_Measurements->IsSOSelected(so) ? Qt::Checked : Qt::Unchecked);
        }
    }
    PCE->setCurrentWidget(TS1);
    GIF->stop();
    P_Progress2->hide();
}

void TF_MatchImages::closeEvent(QCloseEvent* event)
{
    // A tool's run processes events; the wizard must outlive it.
    if (m_running) {
        event->ignore();
        return;
    }
    CPList.clear();
    Pairings.clear();
    QDialog::closeEvent(event);
}

void TF_MatchImages::reject()
{
    if (!m_running)
        QDialog::reject();
}

void TF_MatchImages::BB_UpClick()
{
    const int row = LB_Images->currentRow();
    if (row <= 0 || !LB_Images->currentItem()->isSelected())
        return;
    QListWidgetItem* item = LB_Images->takeItem(row);
    LB_Images->insertItem(row - 1, item);
    LB_Images->setCurrentItem(item);
}

void TF_MatchImages::BB_DownClick()
{
    const int row = LB_Images->currentRow();
    if (row < 0 || row >= LB_Images->count() - 1 || !LB_Images->currentItem()->isSelected())
        return;
    QListWidgetItem* item = LB_Images->takeItem(row);
    LB_Images->insertItem(row + 1, item);
    LB_Images->setCurrentItem(item);
}

void TF_MatchImages::log(const QString& line)
{
    // A line of its own, also after a tool's output that did not end its last line.
    M_DOS->moveCursor(QTextCursor::End);
    if (!M_DOS->textCursor().block().text().isEmpty())
        M_DOS->insertPlainText(QStringLiteral("\n"));
    M_DOS->insertPlainText(line + QLatin1Char('\n'));
}

bool TF_MatchImages::runTool(const QString& name, const QString& setting, const QString& program,
                             const QStringList& arguments)
{
    QPointer<QPlainTextEdit> memo(M_DOS);
    const int rc = RunAndCapture(program, arguments, [memo](const QString& text) {
        if (!memo)
            return;
        memo->moveCursor(QTextCursor::End);
        memo->insertPlainText(text);
    }, true);
    if (rc == 0)
        return true;
    const QString why = rc < 0 ? name + QStringLiteral(" could not be run, or it did not end normally.")
                               : name + QStringLiteral(" ended with the error code %1.").arg(rc);
    log(why);
    log(QStringLiteral("Its path is set in Setup, page \"Image alignment\", field \"") + setting + QStringLiteral("\": ")
        + program);
    TF_ErrorLog::AddLog(0, why + QStringLiteral(" (") + program + QStringLiteral(")"));
    return false;
}

void TF_MatchImages::CreatePTOFile(QString& PTOFile)
{
    PTOFile.clear();
    if (!QFileInfo(SettingPath_PTOGen).isFile()) {
        ShowMessage(QStringLiteral("Cannot locate pto_gen\r\nPlease check the file path in setup!"));
        log(QStringLiteral("pto_gen was not found at \"") + SettingPath_PTOGen
            + QStringLiteral("\": its path is set in Setup, page \"Image alignment\", field \"PTO_Gen\"."));
        return;
    }
    const QString input = TempFolder() + QStringLiteral("in.pto");
    if (TempFolder().isEmpty()) {
        log(QStringLiteral("No temporary folder could be made for the image lists."));
        return;
    }
    QFile::remove(input);
    QStringList arguments{QStringLiteral("-o"), input};
    for (int i = 0; i < LB_Images->count(); ++i) {
        const QListWidgetItem* item = LB_Images->item(i);
        if (item->checkState() == Qt::Checked && QFileInfo(item->text()).isFile())
            arguments << item->text();
    }
    if (!runTool(QStringLiteral("pto_gen"), QStringLiteral("PTO_Gen"), SettingPath_PTOGen, arguments))
        return;
    if (QFileInfo::exists(input))
        PTOFile = input;
}

void TF_MatchImages::RunCPFind(const QString& PTOFile, QString& OutFile)
{
    OutFile.clear();
    if (!QFileInfo(SettingPath_CPFind).isFile()) {
        ShowMessage(QStringLiteral("Cannot locate cpfind\r\nPlease check the file path in setup!"));
        log(QStringLiteral("cpfind was not found at \"") + SettingPath_CPFind
            + QStringLiteral("\": its path is set in Setup, page \"Image alignment\", field \"CPFind\"."));
        return;
    }
    if (!QFileInfo::exists(PTOFile)) {
        QString created;
        CreatePTOFile(created);
        if (created.isEmpty())
            return;
    }
    const QString input = TempFolder() + QStringLiteral("in.pto");
    const QString output = TempFolder() + QStringLiteral("out.pto");
    QFile::remove(output);
    QStringList arguments;
    if (CB_LinearMatch->isChecked())
        arguments << QStringLiteral("--linearmatch");
    arguments << QStringLiteral("-o") << output << input;
    if (!runTool(QStringLiteral("cpfind"), QStringLiteral("CPFind"), SettingPath_CPFind, arguments))
        return;
    if (QFileInfo::exists(output))
        OutFile = output;
}

void TF_MatchImages::setRunning(bool running)
{
    m_running = running;
    P_Progress2->setVisible(running);
    if (running)
        GIF->start();
    else
        GIF->stop();
    B_Close->setEnabled(!running);
    BB_Next1->setEnabled(!running);
}

void TF_MatchImages::BB_Next1Click()
{
    if (m_running)
        return;
    M_DOS->clear();
    OutFile.clear();
    PCE->setCurrentWidget(TS2);
    BB_Next2->setEnabled(false);
    setRunning(true);
    struct Stop {
        TF_MatchImages* self;
        ~Stop() { self->setRunning(false); }
    } stop{this};

    QString input;
    CreatePTOFile(input);
    if (input.isEmpty() || !QFileInfo::exists(input)) {
        log(QStringLiteral("Error creating input PTO file!"));
        return;
    }
    log(QStringLiteral("Input PTO file created successfully."));
    QString output;
    RunCPFind(input, output);
    if (output.isEmpty() || !QFileInfo::exists(output)) {
        log(QStringLiteral("Error creating output PTO file!"));
        return;
    }
    log(QStringLiteral("Output PTO file created successfully."));
    OutFile = output;
    if (CB_DisplayOutFile->isChecked())
        ShellOpenDocument(output);

    // Nothing to apply when no pair of images has a control point: say so rather than offer a
    // step that would move nothing.
    PTOContent content;
    QString error;
    if (!ReadPTOFile(output, content, &error)) {
        log(QStringLiteral("The control points cannot be read: ") + error);
        return;
    }
    TF_SMDI* w = SMDI;
    if (!w)
        return;
    const std::vector<TControlPoint> points =
        MakeControlPoints(content, [w](const QString& name) { return imageNamed(w, name); });
    if (points.empty()) {
        log(QStringLiteral("No control points were found between the images: they do not overlap, or their common "
                           "part shows too little structure. The images were not moved."));
        return;
    }
    BB_Next2->setEnabled(true);
}

void TF_MatchImages::BB_Next2Click()
{
    P_Warning->hide();
    PCE->setCurrentWidget(TS3);
    CPList.clear();
    Pairings.clear();
    VST_Match->clear();
    TF_SMDI* w = SMDI;
    if (!w)
        return;
    // Any error ends the step where it is; the images keep what they reached.
    try {
        PTOContent content;
        if (!ReadPTOFile(OutFile, content))
            return;
        CPList = MakeControlPoints(content, [w](const QString& name) { return imageNamed(w, name); });
        const AlignmentOutcome outcome = PlaceImages(w->StitchList, CPList, int(content.images.size()));
        Pairings = outcome.pairings;
        for (const TPairing& p : Pairings) {
            auto* row = new QTreeWidgetItem(VST_Match);
            row->setText(0, p.Image1 ? ExtractFileName(p.Image1->filename) : QString());
            row->setText(1, p.Image2 ? ExtractFileName(p.Image2->filename) : QString());
            row->setText(2, QString::number(p.ControlPoints));
        }
        if (outcome.moved)
            w->document().setChanged(true);
        w->UpdateArea();
        w->ResampleStitchObjects(nullptr);
        w->FitToScreen();
        w->SB_H->setValue(0);
        w->SB_V->setValue(0);
        w->SmoothDraw(true);
        P_Warning->setVisible(outcome.warning);
    } catch (const std::exception& e) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Image alignment stopped: ") + QString::fromLocal8Bit(e.what()));
    }
}

void TF_MatchImages::BB_Next3Click()
{
    PCE->setCurrentWidget(TS1);
}
