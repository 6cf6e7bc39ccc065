// Settings dialog: pages, loading the controls, Apply to the settings and the open windows, and
// the brush-set editor.
#include "shell/TF_Setup.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "platform/ShellOpen.h"
#include "project/BrushSets.h"
#include "project/Helpers.h"
#include "project/ObjectDrawing.h"
#include "project/Settings.h"
#include "project/TBrushSet.h"
#include "project/TStitchObject.h"
#include "shell/HelpViewer.h"
#include "shell/RAXOLink.h"
#include "shell/SettingsStore.h"
#include "shell/TColorPickerButton.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress2.h"
#include "shell/TFloatEdit.h"
#include "shell/TPageControlEx.h"
#include "shell/TThinTrackBar.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_EditBrushName.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_Zoom.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <climits>
#include <exception>
#include <memory>

QPointer<TF_Setup> F_Setup;

namespace {

QSpinBox* spin(QWidget* parent, int min, int max)
{
    auto* s = new QSpinBox(parent);
    s->setRange(min, max);
    return s;
}

// A read-only note of several lines, as the pages show beside their options.
QPlainTextEdit* note(QWidget* parent, const QStringList& lines)
{
    auto* n = new QPlainTextEdit(parent);
    n->setReadOnly(true);
    n->setPlainText(lines.join(QLatin1Char('\n')));
    n->setFrameShape(QFrame::NoFrame);
    n->setMaximumHeight(90);
    return n;
}

// The picture of cursor choice i (0 to 5) on white, as the cursor boxes show it.
QIcon cursorChoiceIcon(int choice)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::white);
    QPainter p(&pm);
    if (choice == 0) { // the standard arrow
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygon({QPoint(8, 4), QPoint(8, 24), QPoint(13, 19), QPoint(17, 28), QPoint(20, 26),
                                QPoint(16, 18), QPoint(23, 18)}));
    } else {
        p.drawPixmap(0, 0, CursorByNumber(CursorChoices[size_t(choice)]).pixmap());
    }
    p.end();
    return QIcon(pm);
}

Qt::BrushStyle qtBrushStyle(int style)
{
    switch (style) {
    case bsSolid: return Qt::SolidPattern;
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    default: return Qt::DiagCrossPattern;
    }
}

} // namespace

TF_Setup::TF_Setup(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Setup"));
    setModal(true);
    resize(753, 530);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    TV_Select = new QTreeWidget(this);
    TV_Select->setHeaderHidden(true);
    TV_Select->setRootIsDecorated(false);
    TV_Select->setFixedWidth(193);
    TV_Select->setEditTriggers(QAbstractItemView::NoEditTriggers);

    P_Top = new QLabel(this);
    P_Top->setFixedHeight(21);
    P_Top->setAutoFillBackground(true);
    QPalette top = P_Top->palette();
    top.setColor(QPalette::Window, TColorPickerButton::toQColor(0x804000));
    top.setColor(QPalette::WindowText, Qt::white);
    P_Top->setPalette(top);
    QFont bold = P_Top->font();
    bold.setBold(true);
    P_Top->setFont(bold);

    PCE = new TPageControlEx(this);
    PCE->addTab(createSystemPage(), QStringLiteral("TS_Misc"));
    PCE->addTab(createDisplayPage(), QStringLiteral("TS_Display"));
    PCE->addTab(createObjectsPage(), QStringLiteral("TS_Measurements"));
    PCE->addTab(createHelperPage(), QStringLiteral("TS_Zoomwindow"));
    PCE->addTab(createCursorPage(), QStringLiteral("TS_Cursors"));
    PCE->addTab(createLinkPage(), QStringLiteral("TS_RAXO"));
    PCE->addTab(createAlignmentPage(), QStringLiteral("TS_Advanced"));
    PCE->addTab(createNetworkPage(), QStringLiteral("TS_Network"));

    B_Apply = new QPushButton(QStringLiteral("&Apply"), this);
    B_Cancel = new QPushButton(QStringLiteral("&Close"), this);
    B_Apply->setAutoDefault(false);
    B_Cancel->setAutoDefault(false);
    connect(B_Apply, &QPushButton::clicked, this, &TF_Setup::B_ApplyClick);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject); // also Escape
    // F1 opens the help at the page shown; the main window's F1 does not reach a modal dialog.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WidgetWithChildrenShortcut);
    connect(help, &QShortcut::activated, this, [this] { ShowHelpContext(this, HelpContext); });

    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    right->addWidget(P_Top);
    right->addWidget(PCE, 1);
    auto* body = new QHBoxLayout;
    body->addWidget(TV_Select);
    body->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(B_Apply);
    buttons->addWidget(B_Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    FormCreate();
}

TF_Setup::~TF_Setup()
{
    if (F_Setup == this)
        F_Setup = nullptr;
}

void TF_Setup::FormCreate()
{
    const QStringList nodes = {QStringLiteral("System"),
                               QStringLiteral("General display parameters"),
                               QStringLiteral("Object display parameters"),
                               QStringLiteral("Helper windows"),
                               QStringLiteral("Cursors"),
                               QStringLiteral("RAXO link"),
                               QStringLiteral("Image alignment"),
                               QStringLiteral("Network settings")};
    for (int i = 0; i < nodes.size(); ++i) {
        auto* item = new QTreeWidgetItem(TV_Select, {nodes[i]});
        item->setData(0, Qt::UserRole, i);
    }
    connect(TV_Select, &QTreeWidget::itemSelectionChanged, this, &TF_Setup::UpdateSetup);

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TF_Setup::UpdateSetup);
    Timer1->start();
}

// ---- pages ----

QWidget* TF_Setup::createSystemPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* scroll = new QGroupBox(QStringLiteral("Auto Scroll"), page);
    auto* sl = new QFormLayout(scroll);
    CB_AutoScroll = new QCheckBox(QStringLiteral("Enable auto scrolling"), scroll);
    SE_AutoScrollSpeed = spin(scroll, 2, 20);
    CB_Gesture = new QCheckBox(QStringLiteral("Gesture scrolling"), scroll);
    sl->addRow(CB_AutoScroll);
    sl->addRow(QStringLiteral("Speed"), SE_AutoScrollSpeed);
    sl->addRow(CB_Gesture);

    auto* twain = new QGroupBox(QStringLiteral("TWAIN"), page);
    auto* tl = new QVBoxLayout(twain);
    CB_TWAINCancel = new QCheckBox(QStringLiteral("Keep scanner connected"), twain);
    tl->addWidget(CB_TWAINCancel);

    auto* dynamic = new QGroupBox(QStringLiteral("Dynamic image handling"), page);
    auto* dl = new QHBoxLayout(dynamic);
    CB_DynamicEnable = new QCheckBox(QStringLiteral("Enable"), dynamic);
    dl->addWidget(CB_DynamicEnable);
    dl->addWidget(note(dynamic, {QStringLiteral("Note:"),
                                 QStringLiteral("If enabled, this option will preserve as much RAM as "),
                                 QStringLiteral("possible by unloading images that currently are not "),
                                 QStringLiteral("displayed, but will slow down operations when moving from "),
                                 QStringLiteral("one image to another!")}),
                  1);

    auto* embed = new QGroupBox(QStringLiteral("Embed images"), page);
    auto* el = new QHBoxLayout(embed);
    CB_EmbedImages = new QCheckBox(QStringLiteral("Enabled"), embed);
    el->addWidget(CB_EmbedImages);
    el->addWidget(note(embed, {QStringLiteral("Note:"),
                               QStringLiteral("If enabled, images will be stored into JEX4 project files. "),
                               QStringLiteral("While this will increase the size of the JEX4 project files, it "),
                               QStringLiteral("will make transfer of projects much easier.")}),
                  1);

    auto* clip = new QGroupBox(QStringLiteral("Clipboard"), page);
    auto* cl = new QVBoxLayout(clip);
    CB_ClearClipboard = new QCheckBox(QStringLiteral("Clear after Paste/Merge (conserves memory)"), clip);
    cl->addWidget(CB_ClearClipboard);
    CB_ClearClipboard->setChecked(WindowValues().ClearClipboard);
    connect(CB_ClearClipboard, &QCheckBox::toggled, this, [](bool on) { WindowValues().ClearClipboard = on; });

    auto* other = new QGroupBox(QStringLiteral("Other"), page);
    auto* ol = new QVBoxLayout(other);
    CB_Autofocus = new QCheckBox(QStringLiteral("Mouse hovering switches between projects"), other);
    CB_AutoCheckUpdates = new QCheckBox(QStringLiteral("Check for updates each time the program is started"), other);
    ol->addWidget(CB_Autofocus);
    ol->addWidget(CB_AutoCheckUpdates);

    for (QWidget* g : {static_cast<QWidget*>(scroll), static_cast<QWidget*>(twain), static_cast<QWidget*>(dynamic),
                       static_cast<QWidget*>(embed), static_cast<QWidget*>(clip), static_cast<QWidget*>(other)})
        layout->addWidget(g);
    layout->addStretch(1);
    return page;
}

QWidget* TF_Setup::createDisplayPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* area = new QGroupBox(QStringLiteral("Surrounding area"), page);
    auto* al = new QFormLayout(area);
    CPB_AreaColor = new TColorPickerButton(area);
    CB_AreaBrush = new QComboBox(area);
    CB_AreaBrush->setIconSize(QSize(60, 14));
    for (int i = 0; i < 8; ++i)
        CB_AreaBrush->addItem(QString());
    auto drawBrushes = [this] {
        // Each entry: a rectangle inset by 2 pixels, black outline, area colour in style i.
        for (int i = 0; i < 8; ++i) {
            QPixmap pm(CB_AreaBrush->iconSize());
            pm.fill(Qt::white);
            QPainter p(&pm);
            p.setPen(Qt::black);
            p.setBrush(QBrush(TColorPickerButton::toQColor(CPB_AreaColor->color()), qtBrushStyle(i)));
            p.drawRect(pm.rect().adjusted(2, 2, -3, -3));
            p.end();
            CB_AreaBrush->setItemIcon(i, QIcon(pm));
        }
    };
    drawBrushes();
    connect(CPB_AreaColor, &TColorPickerButton::colorChanged, this, drawBrushes);
    CPB_Desktop = new TColorPickerButton(area);
    al->addRow(QStringLiteral("Color"), CPB_AreaColor);
    al->addRow(QStringLiteral("Style"), CB_AreaBrush);
    al->addRow(QStringLiteral("Desktop"), CPB_Desktop);

    auto* text = new QGroupBox(QStringLiteral("Text display"), page);
    auto* tl = new QFormLayout(text);
    CPB_TColor = new TColorPickerButton(text);
    CB_Font = new QComboBox(text);
    SE_FontSize = spin(text, 1, 1000);
    SE_Angle = spin(text, 0, 90);
    CB_FixedFontSize = new QCheckBox(QStringLiteral("Fixed Font size"), text);
    tl->addRow(QStringLiteral("Color"), CPB_TColor);
    tl->addRow(QStringLiteral("Font"), CB_Font);
    tl->addRow(QStringLiteral("Size"), SE_FontSize);
    tl->addRow(QStringLiteral("Angle"), SE_Angle);
    tl->addRow(CB_FixedFontSize);

    auto* digits = new QGroupBox(QStringLiteral("Round measurements to"), page);
    auto* dl = new QFormLayout(digits);
    SE_RoundDigits = spin(digits, 0, 4);
    dl->addRow(QStringLiteral("Digits"), SE_RoundDigits);

    auto* resample = new QGroupBox(QStringLiteral("Resample algorithm"), page);
    auto* rl = new QVBoxLayout(resample);
    CB_ResampleAlgorithm = new QComboBox(resample);
    CB_ResampleAlgorithm->addItems({QStringLiteral("Standard (fast, may distort large images)"),
                                    QStringLiteral("Nearest neighbour (default)"), QStringLiteral("Gaussian (slow)"),
                                    QStringLiteral("Lanczos (slow, most detailed)")});
    rl->addWidget(CB_ResampleAlgorithm);

    auto* moving = new QGroupBox(QStringLiteral("Image moving"), page);
    auto* ml = new QFormLayout(moving);
    CB_MovingTransparency = new QCheckBox(QStringLiteral("Draw images transparent while moving"), moving);
    TB_MovingTransparency = new TThinTrackBar(moving);
    TB_MovingTransparency->setRange(1, 255);
    TB_MovingTransparency->setTickInterval(16);
    ml->addRow(CB_MovingTransparency);
    ml->addRow(QStringLiteral("Transparency level"), TB_MovingTransparency);

    for (QWidget* g : {static_cast<QWidget*>(area), static_cast<QWidget*>(text), static_cast<QWidget*>(digits),
                       static_cast<QWidget*>(resample), static_cast<QWidget*>(moving)})
        layout->addWidget(g);
    layout->addStretch(1);
    return page;
}

QWidget* TF_Setup::createObjectsPage()
{
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    auto* index = new QGroupBox(QStringLiteral("Index points"), page);
    auto* il = new QFormLayout(index);
    CPB_IColor = new TColorPickerButton(index);
    SE_ISize = spin(index, 1, 20);
    il->addRow(QStringLiteral("Color"), CPB_IColor);
    il->addRow(QStringLiteral("Size"), SE_ISize);

    auto* indexLines = new QGroupBox(QStringLiteral("Index Lines"), page);
    auto* ill = new QFormLayout(indexLines);
    CPB_ILColor = new TColorPickerButton(indexLines);
    CB_DrawIndexLines = new QCheckBox(QStringLiteral("Draw"), indexLines);
    SE_ILWidth = spin(indexLines, 1, 5);
    ill->addRow(QStringLiteral("Color"), CPB_ILColor);
    ill->addRow(CB_DrawIndexLines);
    ill->addRow(QStringLiteral("Width"), SE_ILWidth);

    auto* meas = new QGroupBox(QStringLiteral("Measurement points"), page);
    auto* mpl = new QFormLayout(meas);
    CPB_MColor = new TColorPickerButton(meas);
    SE_MSize = spin(meas, 1, 20);
    mpl->addRow(QStringLiteral("Color"), CPB_MColor);
    mpl->addRow(QStringLiteral("Size"), SE_MSize);

    auto* measLines = new QGroupBox(QStringLiteral("Measurement Lines"), page);
    auto* mll = new QFormLayout(measLines);
    CPB_MLColor = new TColorPickerButton(measLines);
    SE_Mwidth = spin(measLines, 1, 5);
    mll->addRow(QStringLiteral("Color"), CPB_MLColor);
    mll->addRow(QStringLiteral("Width"), SE_Mwidth);

    auto* ral = new QGroupBox(QStringLiteral("Right angle lines"), page);
    auto* rl = new QFormLayout(ral);
    CPB_RAL = new TColorPickerButton(ral);
    SE_RALLength = spin(ral, INT_MIN, INT_MAX); // the length has no bounds
    SE_RALWidth = spin(ral, 1, 5);
    CB_ScaleRAL = new QCheckBox(QStringLiteral("Scale"), ral);
    rl->addRow(QStringLiteral("Color"), CPB_RAL);
    rl->addRow(QStringLiteral("Length"), SE_RALLength);
    rl->addRow(QStringLiteral("Width"), SE_RALWidth);
    rl->addRow(CB_ScaleRAL);

    auto* sel = new QGroupBox(QStringLiteral("Selected objects"), page);
    auto* sl = new QFormLayout(sel);
    CPB_SelColor = new TColorPickerButton(sel);
    SE_EnlargeSelected = spin(sel, 1, 5);
    sl->addRow(QStringLiteral("Color"), CPB_SelColor);
    sl->addRow(QStringLiteral("Enlarge by"), SE_EnlargeSelected);

    auto* sets = new QGroupBox(QStringLiteral("Brush sets"), page);
    auto* bl = new QHBoxLayout(sets);
    CB_BrushSet = new QComboBox(sets);
    CB_BrushSet->setMinimumWidth(180);
    auto tool = [sets](const QString& text, const QString& hint) {
        auto* b = new QToolButton(sets);
        b->setText(text);
        b->setToolTip(hint);
        b->setStatusTip(hint);
        return b;
    };
    BB_AddBrushSet = tool(QStringLiteral("Add"), QStringLiteral("Add a new brush set with the current settings"));
    BB_RenameBrushSet = tool(QStringLiteral("Edit"), QStringLiteral("Edit brush set name"));
    BB_UseCurrentSettings = tool(QStringLiteral("Store"), QStringLiteral("Store current settings to selected brush set"));
    BB_RemoveBrushSet = tool(QStringLiteral("Delete"), QStringLiteral("Delete selected brush set"));
    bl->addWidget(CB_BrushSet, 1);
    for (QToolButton* b : {BB_AddBrushSet, BB_RenameBrushSet, BB_UseCurrentSettings, BB_RemoveBrushSet})
        bl->addWidget(b);
    connect(CB_BrushSet, &QComboBox::currentIndexChanged, this, &TF_Setup::CB_BrushSetChange);
    connect(BB_AddBrushSet, &QToolButton::clicked, this, &TF_Setup::BB_AddBrushSetClick);
    connect(BB_RenameBrushSet, &QToolButton::clicked, this, &TF_Setup::BB_RenameBrushSetClick);
    connect(BB_UseCurrentSettings, &QToolButton::clicked, this, &TF_Setup::BB_UseCurrentSettingsClick);
    connect(BB_RemoveBrushSet, &QToolButton::clicked, this, &TF_Setup::BB_RemoveBrushSetClick);
    CB_BrushSetChange();

    layout->addWidget(index, 0, 0);
    layout->addWidget(indexLines, 0, 1);
    layout->addWidget(meas, 1, 0);
    layout->addWidget(measLines, 1, 1);
    layout->addWidget(ral, 2, 0);
    layout->addWidget(sel, 2, 1);
    layout->addWidget(sets, 3, 0, 1, 2);
    layout->setRowStretch(4, 1);
    return page;
}

QWidget* TF_Setup::createHelperPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* zoom = new QGroupBox(QStringLiteral("Zoom window"), page);
    auto* zl = new QFormLayout(zoom);
    CB_ZoomDisplayCrosshairs = new QCheckBox(QStringLiteral("Display Crosshairs"), zoom);
    CPB_ZoomCrosshairsColor = new TColorPickerButton(zoom);
    SE_ZoomArea = spin(zoom, 10, 100);
    zl->addRow(CB_ZoomDisplayCrosshairs);
    zl->addRow(QStringLiteral("Crosshairs color"), CPB_ZoomCrosshairsColor);
    zl->addRow(QStringLiteral("Area size [px]"), SE_ZoomArea);

    auto* bird = new QGroupBox(QStringLiteral("Birdview window"), page);
    auto* bl = new QFormLayout(bird);
    CPB_BirdThumbnailcolor = new TColorPickerButton(bird);
    CB_BirdHighlight = new QCheckBox(QStringLiteral("Highlight Area"), bird);
    bl->addRow(QStringLiteral("Thumbnail color"), CPB_BirdThumbnailcolor);
    bl->addRow(CB_BirdHighlight);

    auto* files = new QGroupBox(QStringLiteral("File manager"), page);
    auto* fl = new QVBoxLayout(files);
    CB_DisplayFilePreview = new QCheckBox(QStringLiteral("Show image preview"), files);
    CB_FileManagerExtensions = new QCheckBox(QStringLiteral("Display files with the following extensions only"), files);
    E_FileManagerAllowExtensions = new QLineEdit(files);
    fl->addWidget(CB_DisplayFilePreview);
    fl->addWidget(CB_FileManagerExtensions);
    fl->addWidget(E_FileManagerAllowExtensions);

    layout->addWidget(zoom);
    layout->addWidget(bird);
    layout->addWidget(files);
    layout->addStretch(1);
    return page;
}

QWidget* TF_Setup::createCursorPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto cursorBox = [page, layout](const QString& caption) {
        auto* group = new QGroupBox(caption, page);
        auto* gl = new QVBoxLayout(group);
        auto* box = new QComboBox(group);
        box->setIconSize(QSize(32, 32));
        for (int i = 0; i < int(CursorChoices.size()); ++i)
            box->addItem(cursorChoiceIcon(i), QString());
        gl->addWidget(box);
        layout->addWidget(group);
        return box;
    };
    CB_MCursor = cursorBox(QStringLiteral("Measuring point cursor"));
    CB_ICursor = cursorBox(QStringLiteral("Index point cursor"));
    CB_SCursor = cursorBox(QStringLiteral("Other point cursors"));

    auto* cad = new QGroupBox(QStringLiteral("CAD cursor"), page);
    auto* cl = new QFormLayout(cad);
    CPB_CADColor = new TColorPickerButton(cad);
    CB_CADVisible = new QCheckBox(QStringLiteral("Enabled"), cad);
    CB_SwitchOffCursor = new QCheckBox(QStringLiteral("Switch off default cursor"), cad);
    cl->addRow(QStringLiteral("Color"), CPB_CADColor);
    cl->addRow(CB_CADVisible);
    cl->addRow(CB_SwitchOffCursor);
    layout->addWidget(cad);
    layout->addStretch(1);
    return page;
}

QWidget* TF_Setup::createLinkPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* where = new QGroupBox(QStringLiteral("RAXO TCP/IP Location"), page);
    auto* wl = new QFormLayout(where);
    E_IP = new QLineEdit(QStringLiteral("127.0.0.1"), where);
    FE_Port = new TFloatEdit(where);
    FE_Port->setDigits(0);
    FE_Port->setMin(1);
    FE_Port->setMax(65535);
    FE_Port->setAlignment(Qt::AlignRight);
    FE_Port->setErrorMessage(TFloatEdit::NoText);
    CB_CheckTCPConnection = new QCheckBox(QStringLiteral("Auto connect"), where);
    CB_CheckTCPConnection->setToolTip(QStringLiteral("If enabled, JEX will try to connect to RAXO4 automatically."));
    wl->addRow(QStringLiteral("IP-Address"), E_IP);
    wl->addRow(QStringLiteral("TCP Port"), FE_Port);
    wl->addRow(CB_CheckTCPConnection);
    layout->addWidget(where);
    layout->addWidget(note(page, {QStringLiteral("Note:"),
                                  QStringLiteral("Enter the IP adress of the machine that runs RAXO5. If "),
                                  QStringLiteral("this is the same machine enter 127.0.0.1")}));
    layout->addWidget(note(page, {QStringLiteral("Note:"),
                                  QStringLiteral("Enter the TCP port that is used for the communication "),
                                  QStringLiteral("between RAXO and JEX. Make sure this port is not "),
                                  QStringLiteral("blocked by any firewalls.")}));
    layout->addStretch(1);
    return page;
}

QWidget* TF_Setup::createAlignmentPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* tools = new QGroupBox(QStringLiteral("Image alignment tools (require Hugin installation)"), page);
    auto* tl = new QFormLayout(tools);
    E_PTOGen = new QLineEdit(tools);
    B_PTOGen = new QToolButton(tools);
    B_PTOGen->setText(QStringLiteral("..."));
    E_CPFind = new QLineEdit(tools);
    Button1 = new QToolButton(tools);
    Button1->setText(QStringLiteral("..."));
    auto pathRow = [tools](QLineEdit* edit, QToolButton* button) {
        auto* w = new QWidget(tools);
        auto* l = new QHBoxLayout(w);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(edit, 1);
        l->addWidget(button);
        return w;
    };
    tl->addRow(QStringLiteral("PTO_Gen"), pathRow(E_PTOGen, B_PTOGen));
    tl->addRow(QStringLiteral("CPFind"), pathRow(E_CPFind, Button1));
    Label6 = new QLabel(QStringLiteral("<a href=\"#\">Hugin website</a>"), tools);
    Label6->setCursor(Qt::PointingHandCursor);
    tl->addRow(Label6);
    connect(B_PTOGen, &QToolButton::clicked, this, &TF_Setup::B_PTOGenClick);
    connect(Button1, &QToolButton::clicked, this, &TF_Setup::Button1Click);
    connect(Label6, &QLabel::linkActivated, this, &TF_Setup::Label6Click);
    layout->addWidget(tools);
    layout->addStretch(1);
    return page;
}

QWidget* TF_Setup::createNetworkPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* proxy = new QGroupBox(QStringLiteral("Proxy settings"), page);
    auto* pl = new QFormLayout(proxy);
    CB_UseProxy = new QCheckBox(QStringLiteral("Use proxy server "), proxy);
    E_ProxyServer = new QLineEdit(proxy);
    E_ProxyPort = new TFloatEdit(proxy);
    E_ProxyPort->setDigits(0);
    E_ProxyPort->setMax(99999999.9);
    E_ProxyPort->setValue(80);
    E_ProxyPort->setErrorMessage(TFloatEdit::NoText);
    E_ProxyUsername = new QLineEdit(proxy);
    E_ProxyPassword = new QLineEdit(proxy);
    E_ProxyPassword->setEchoMode(QLineEdit::Password);
    CB_ProxyAuthentication = new QCheckBox(QStringLiteral("Basic authentication"), proxy);
    pl->addRow(CB_UseProxy);
    pl->addRow(QStringLiteral("Server"), E_ProxyServer);
    pl->addRow(QStringLiteral("Port"), E_ProxyPort);
    pl->addRow(QStringLiteral("Username"), E_ProxyUsername);
    pl->addRow(QStringLiteral("Password"), E_ProxyPassword);
    pl->addRow(CB_ProxyAuthentication);
    auto* info = new QLabel(QStringLiteral("The link to RAXO cannot be routed through a proxy server: it works only "
                                           "within your own subnet. The proxy is used for the update check."),
                            page);
    info->setWordWrap(true);
    layout->addWidget(proxy);
    layout->addWidget(info);
    layout->addStretch(1);
    return page;
}

// ---- showing and pages ----

void TF_Setup::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TF_Setup::UpdateSetup()
{
    QTreeWidgetItem* node = TV_Select->currentItem();
    if (!node || !node->isSelected())
        node = TV_Select->topLevelItem(0);
    const int page = node->data(0, Qt::UserRole).toInt();
    PCE->setCurrentIndex(page);
    P_Top->setText(QStringLiteral(" ") + node->text(0));
    if (page >= 0 && page < 8 && NodeHelpContexts[page] != 0)
        HelpContext = NodeHelpContexts[page];
    update();
}

void TF_Setup::FormShow()
{
    const StoredWindowValues& v = WindowValues();

    E_PTOGen->setText(SettingPath_PTOGen);
    E_CPFind->setText(SettingPath_CPFind);
    CB_FileManagerExtensions->setChecked(!SettingFileManagerDisplayEverything);
    TB_MovingTransparency->setValue(SettingMovingTransparency);
    CB_MovingTransparency->setChecked(SettingUseMovingTransparency);
    UpdateBrushSetList();
    CB_AutoCheckUpdates->setChecked(SettingAutoCheckUpdates);

    // The screen's fonts, each shown in itself; a stored font that is missing selects nothing.
    CB_Font->clear();
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families) {
        CB_Font->addItem(family);
        CB_Font->setItemData(CB_Font->count() - 1, QFont(family), Qt::FontRole);
    }
    CB_Font->setCurrentIndex(SettingFontName.isEmpty() ? -1 : CB_Font->findText(SettingFontName, Qt::MatchExactly));
    CB_AreaBrush->setCurrentIndex(SettingAreaBrush >= 0 && SettingAreaBrush < 8 ? SettingAreaBrush : -1);
    CPB_Desktop->setColor(F_Main ? TColorPickerButton::fromQColor(F_Main->mdiArea()->background().color())
                                 : v.DesktopColor);
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);

    E_FileManagerAllowExtensions->setText(SettingFileManagerDisplayExtensions.join(QLatin1Char(',')));

    E_ProxyServer->setText(SettingProxyServer);
    E_ProxyPort->setValue(SettingProxyPort);
    E_ProxyUsername->setText(SettingProxyUser);
    E_ProxyPassword->setText(SettingProxyPassword);
    CB_ProxyAuthentication->setChecked(SettingProxyUseAuthentication);
    CB_UseProxy->setChecked(SettingUseProxy);
    CB_FixedFontSize->setChecked(SettingFixedFontSize);
    SE_RALWidth->setValue(SettingRALWidth);
    SE_ILWidth->setValue(SettingILWidth);
    SE_Mwidth->setValue(SettingMWidth);
    auto cursor = [](QComboBox* box, int choice) { box->setCurrentIndex(choice >= 0 && choice < 6 ? choice : -1); };
    cursor(CB_MCursor, SettingMCursor);
    cursor(CB_ICursor, SettingICursor);
    cursor(CB_SCursor, SettingSCursor);
    CB_DynamicEnable->setChecked(SettingDynamicImages);
    SE_ISize->setValue(SettingISize);
    SE_MSize->setValue(SettingMSize);
    SE_EnlargeSelected->setValue(SettingSSize);
    SE_FontSize->setValue(SettingFSize);
    SE_RALLength->setValue(SettingRALLength);
    CB_EmbedImages->setChecked(SettingEmbedImages);
    CB_ScaleRAL->setChecked(SettingScaleRAL);
    CPB_RAL->setColor(SettingRALColor);
    CPB_IColor->setColor(SettingIColor);
    CPB_ILColor->setColor(SettingILColor);
    CPB_MColor->setColor(SettingMColor);
    CPB_SelColor->setColor(SettingMSColor);
    CPB_MLColor->setColor(SettingMLColor);
    SE_AutoScrollSpeed->setValue(SettingAutoScrollSpeed);
    CB_AutoScroll->setChecked(SettingEnableAutoScroll);
    CPB_AreaColor->setColor(SettingAreaColor);
    CPB_CADColor->setColor(SettingCADColor);
    CB_CADVisible->setChecked(SettingCADCursor);
    CB_DisplayFilePreview->setChecked(SettingFilePreview);
    CB_SwitchOffCursor->setChecked(SettingSwitchOffCursor);
    SE_ZoomArea->setValue(SettingZoomWidth);
    CPB_TColor->setColor(SettingTextColor);
    SE_RoundDigits->setValue(SettingDigits);
    SE_Angle->setValue(SettingTextAngle);

    RAXOLink* link = F_Main ? F_Main->Link : nullptr;
    E_IP->setText(link ? link->Address() : v.LinkAddress);
    FE_Port->setValue(link ? link->Port() : v.LinkPort);

    // The magnifier and the bird's-eye view hold their own options once they exist.
    CB_ZoomDisplayCrosshairs->setChecked(F_Zoom ? F_Zoom->drawcrosshairs : v.Zoom.DisplayCrossHairs);
    CPB_ZoomCrosshairsColor->setColor(F_Zoom ? F_Zoom->crosshaircolor : v.Zoom.CrossHairColor);
    CPB_BirdThumbnailcolor->setColor(F_BirdView ? F_BirdView->Thumbnailcolor : v.BirdView.Thumbnailcolor);
    CB_BirdHighlight->setChecked(F_BirdView ? F_BirdView->BirdHighLight : v.BirdView.HighlightArea);
    CB_TWAINCancel->setChecked(SettingTWAINCancel);
    CB_DrawIndexLines->setChecked(SettingDrawIndexLines);
    CB_CheckTCPConnection->setChecked(SettingTCPIPAutoConnect);
    CB_ResampleAlgorithm->setCurrentIndex(SettingResamplingAlgorithm >= 0 && SettingResamplingAlgorithm < 4
                                              ? SettingResamplingAlgorithm
                                              : -1);
    CB_Gesture->setChecked(SettingGestureScrolling);
    CB_Autofocus->setChecked(SettingAutoFocus);
    CB_ClearClipboard->setChecked(v.ClearClipboard);

    const int tag = Tag >= 0 && Tag < TV_Select->topLevelItemCount() ? Tag : 0;
    TV_Select->setCurrentItem(TV_Select->topLevelItem(tag));
    UpdateSetup();
}

// ---- apply ----

void TF_Setup::applyLink()
{
    RAXOLink* link = F_Main ? F_Main->Link : nullptr;
    if (!link)
        return;
    link->T_TCP->stop();
    const QString address = E_IP->text().trimmed();
    const int port = Round(FE_Port->Value());
    // A connection to another place, or one the user no longer wants, ends here; the timer
    // connects anew to the address and port given.
    const bool moved = address != link->Address() || port != link->Port();
    if ((moved || !SettingTCPIPAutoConnect) && link->TCP->state() != QAbstractSocket::UnconnectedState)
        link->TCP->abort();
    link->SetAddress(address);
    link->SetPort(port);
    link->T_TCP->start();
    if (SettingTCPIPAutoConnect)
        link->T_TCPTimer(); // now, not in two seconds
    QCoreApplication::processEvents();
}

void TF_Setup::B_ApplyClick()
{
    if (F_Main)
        F_Main->SetBrushSets();

    SettingProxyServer = E_ProxyServer->text();
    SettingProxyPort = Round(E_ProxyPort->Value());
    SettingProxyUser = E_ProxyUsername->text();
    SettingProxyPassword = E_ProxyPassword->text();
    SettingProxyUseAuthentication = CB_ProxyAuthentication->isChecked();
    SettingUseProxy = CB_UseProxy->isChecked();
    SettingPath_CPFind = E_CPFind->text();
    SettingPath_PTOGen = E_PTOGen->text();
    SettingFileManagerDisplayEverything = !CB_FileManagerExtensions->isChecked();
    SplitDelimited(QLatin1Char(','), E_FileManagerAllowExtensions->text(), SettingFileManagerDisplayExtensions);
    if (F_FileManager)
        F_FileManager->RefreshFilter();
    SettingMovingTransparency = TB_MovingTransparency->value();
    SettingUseMovingTransparency = CB_MovingTransparency->isChecked();
    SettingAutoCheckUpdates = CB_AutoCheckUpdates->isChecked();
    SettingGestureScrolling = CB_Gesture->isChecked();

    // The busy box goes in every case, also when a window failed below.
    std::unique_ptr<TF_Progress2> busy(new TF_Progress2(nullptr));
    F_Progress2 = busy.get();
    busy->L_Info->setText(QStringLiteral("Applying settings..."));
    busy->show();
    QCoreApplication::processEvents();

    SettingTCPIPAutoConnect = CB_CheckTCPConnection->isChecked();
    if (F_Main) {
        F_Main->mdiArea()->setBackground(TColorPickerButton::toQColor(CPB_Desktop->color()));
        WindowValues().DesktopColor = CPB_Desktop->color();
    }
    applyLink();

    SettingFixedFontSize = CB_FixedFontSize->isChecked();
    SettingRALWidth = SE_RALWidth->value();
    SettingILWidth = SE_ILWidth->value();
    SettingMWidth = SE_Mwidth->value();
    SettingISize = SE_ISize->value();
    SettingMSize = SE_MSize->value();
    SettingSSize = SE_EnlargeSelected->value();
    SettingDynamicImages = CB_DynamicEnable->isChecked();
    SettingFSize = SE_FontSize->value();
    SettingScaleRAL = CB_ScaleRAL->isChecked();
    SettingRALLength = SE_RALLength->value();
    SettingIColor = CPB_IColor->color();
    SettingILColor = CPB_ILColor->color();
    SettingMColor = CPB_MColor->color();
    SettingMLColor = CPB_MLColor->color();
    SettingMSColor = CPB_SelColor->color();
    SettingRALColor = CPB_RAL->color();
    SettingTextColor = CPB_TColor->color();
    SettingAutoScrollSpeed = SE_AutoScrollSpeed->value();
    SettingEnableAutoScroll = CB_AutoScroll->isChecked();
    SettingAreaColor = CPB_AreaColor->color();
    SettingAreaBrush = qMax(0, CB_AreaBrush->currentIndex());
    auto cursor = [](QComboBox* box) { return qMax(0, box->currentIndex()); };
    SettingMCursor = cursor(CB_MCursor);
    SettingICursor = cursor(CB_ICursor);
    SettingSCursor = cursor(CB_SCursor);
    SettingCADColor = CPB_CADColor->color();
    SettingCADCursor = CB_CADVisible->isChecked();
    SettingSwitchOffCursor = CB_SwitchOffCursor->isChecked();
    SettingTWAINCancel = CB_TWAINCancel->isChecked();
    SettingDigits = SE_RoundDigits->value();
    if (F_Main)
        F_Main->A_CADCursor->setChecked(SettingCADCursor);
    SettingFilePreview = CB_DisplayFilePreview->isChecked();
    SettingZoomWidth = SE_ZoomArea->value();
    SettingFontName = CB_Font->currentIndex() >= 0 ? CB_Font->currentText() : QString();
    SettingTextAngle = SE_Angle->value();
    SettingEmbedImages = CB_EmbedImages->isChecked();
    SettingDrawIndexLines = CB_DrawIndexLines->isChecked();
    SettingResamplingAlgorithm = qMax(0, CB_ResampleAlgorithm->currentIndex());
    SettingAutoFocus = CB_Autofocus->isChecked();

    if (F_Zoom) {
        F_Zoom->drawcrosshairs = CB_ZoomDisplayCrosshairs->isChecked();
        F_Zoom->crosshaircolor = CPB_ZoomCrosshairsColor->color();
        // The magnifier's picture holds its crosshairs: it is drawn anew with them.
        F_Zoom->UpdateZoom(F_Zoom->MDIForm);
    }
    if (F_BirdView) {
        F_BirdView->Thumbnailcolor = CPB_BirdThumbnailcolor->color();
        F_BirdView->BirdHighLight = CB_BirdHighlight->isChecked();
    }

    // Every window shows the new values at once. One window that cannot reload its images is
    // logged and the others still follow; the display copies of every window take a changed
    // resample algorithm.
    for (TF_SMDI* w : F_Main ? F_Main->MDIChildren() : QList<TF_SMDI*>()) {
        QPointer<TF_SMDI> guard(w);
        try {
            w->UpdateBird(false);
            w->TDelta_X = 0;
            w->TDelta_Y = 0;
            for (const auto& so : w->StitchList)
                if (!so->Loaded)
                    w->ReloadImage(so.get());
            if (guard) {
                w->ResampleStitchObjects(nullptr);
                w->SmoothDraw(true);
            }
        } catch (const std::exception& e) {
            TF_Main::ApplicationEventsException(QString::fromLocal8Bit(e.what()));
        }
    }

    // The magnifier and the bird's-eye view keep these values until they are built.
    StoredWindowValues& v = WindowValues();
    v.Zoom.DisplayCrossHairs = CB_ZoomDisplayCrosshairs->isChecked();
    v.Zoom.CrossHairColor = CPB_ZoomCrosshairsColor->color();
    v.BirdView.Thumbnailcolor = CPB_BirdThumbnailcolor->color();
    v.BirdView.HighlightArea = CB_BirdHighlight->isChecked();
    if (F_Main)
        F_Main->SetScreenCursor();
    if (F_Measurements && F_Measurements->VST)
        F_Measurements->VST->viewport()->update();
    busy.reset();
    if (F_Main) {
        F_Main->mdiArea()->viewport()->update();
        F_Main->UpdateDock();
    }
}

// ---- tool paths and links ----

QString TF_Setup::askToolPath(const QString& current, const QString& filter)
{
    FileDialogRequest request;
    request.title = QStringLiteral("Select file");
    request.filter = filter;
    request.initialDir = QFileInfo(current).isFile() ? QFileInfo(current).absolutePath() : QStringLiteral("/");
    const FileDialogAnswer answer = dialogs().openFile(request);
    if (!answer.accepted || answer.fileName().isEmpty() || !QFileInfo(answer.fileName()).isFile())
        return QString();
    return answer.fileName();
}

void TF_Setup::B_PTOGenClick()
{
    const QString path = askToolPath(E_PTOGen->text(), QStringLiteral("PTOGen Executable|pto_gen"));
    if (!path.isEmpty())
        E_PTOGen->setText(path);
}

void TF_Setup::Button1Click()
{
    const QString path = askToolPath(E_CPFind->text(), QStringLiteral("CPFind Executable|cpfind"));
    if (!path.isEmpty())
        E_CPFind->setText(path);
}

void TF_Setup::Label6Click()
{
    ShellOpenUrl(QUrl(QString::fromLatin1(HuginDownloadPage)));
}

// ---- brush sets ----

void TF_Setup::UpdateBrushSetList()
{
    const QSignalBlocker block(CB_BrushSet);
    CB_BrushSet->clear();
    int current = -1;
    for (size_t i = 0; i < BrushSetList.size(); ++i) {
        CB_BrushSet->addItem(style()->standardIcon(QStyle::SP_DialogResetButton), BrushSetList[i]->BName);
        if (BrushSetList[i].get() == CurrentBrushSet)
            current = int(i);
    }
    CB_BrushSet->setCurrentIndex(current);
    CB_BrushSetChange();
}

void TF_Setup::CB_BrushSetChange()
{
    const bool chosen = CB_BrushSet->currentIndex() >= 0 && !CB_BrushSet->currentText().isEmpty();
    for (QToolButton* b : {BB_RenameBrushSet, BB_UseCurrentSettings, BB_RemoveBrushSet})
        b->setEnabled(chosen);
}

QString TF_Setup::askBrushSetName(const QString& prompt)
{
    TF_EditBrushName dialog(this);
    dialog.Label1->setText(prompt);
    dialog.E_BrushName->clear();
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.E_BrushName->text().left(MaxBrushSetName);
}

bool TF_Setup::brushSetNameExists(const QString& name) const
{
    for (const auto& set : BrushSetList)
        if (set->BName == name) // letter case counts
            return true;
    return false;
}

void TF_Setup::BB_AddBrushSetClick()
{
    const QString name = askBrushSetName(QStringLiteral("Enter name for new brush set:"));
    if (name.isEmpty())
        return;
    if (brushSetNameExists(name)) {
        ShowMessage(QStringLiteral("A Brush set with this name already exists!\r\nPlease use a different name."));
        return;
    }
    auto set = std::make_unique<TBrushSet>();
    set->BName = name;
    SaveSettingsToBrushSet(*set);
    BrushSetList.push_back(std::move(set));
    UpdateBrushSetList();
    CB_BrushSet->setCurrentIndex(CB_BrushSet->count() - 1);
    // The main window's brush-set menu is indexed by position: it must not point past the list.
    if (F_Main)
        F_Main->SetBrushSets();
}

void TF_Setup::BB_RenameBrushSetClick()
{
    // The current set is renamed; without one, the set chosen in the box.
    TBrushSet* target = CurrentBrushSet;
    const int chosen = CB_BrushSet->currentIndex();
    if (!target && chosen >= 0 && size_t(chosen) < BrushSetList.size())
        target = BrushSetList[size_t(chosen)].get();
    if (!target)
        return;
    const QString name = askBrushSetName(QStringLiteral("Enter new name:"));
    if (name.isEmpty())
        return;
    if (brushSetNameExists(name)) {
        ShowMessage(QStringLiteral("A Brush set with this name already exists!\r\nPlease use a different name."));
        return;
    }
    target->BName = name;
    UpdateBrushSetList();
    if (F_Main)
        F_Main->SetBrushSets();
}

void TF_Setup::BB_RemoveBrushSetClick()
{
    const int chosen = CB_BrushSet->currentIndex();
    if (chosen < 0 || size_t(chosen) >= BrushSetList.size())
        return;
    if (MessageDlg(QStringLiteral("Remove brush set ") + BrushSetList[size_t(chosen)]->BName + QStringLiteral("?"),
                   mtConfirmation, mbYesNo)
        == mrNo)
        return;
    // A removed set is never used again: the current one goes with it.
    if (CurrentBrushSet == BrushSetList[size_t(chosen)].get())
        CurrentBrushSet = nullptr;
    BrushSetList.erase(BrushSetList.begin() + chosen);
    UpdateBrushSetList();
    if (CB_BrushSet->count() > 0)
        CB_BrushSet->setCurrentIndex(CB_BrushSet->count() - 1);
    if (F_Main)
        F_Main->SetBrushSets();
}

void TF_Setup::BB_UseCurrentSettingsClick()
{
    const int chosen = CB_BrushSet->currentIndex();
    if (chosen >= 0 && size_t(chosen) < BrushSetList.size())
        SaveSettingsToBrushSet(*BrushSetList[size_t(chosen)]);
}

void TF_Setup::SaveSettingsToBrushSet(TBrushSet& ABrushSet) const
{
    ABrushSet.CadColor = CPB_CADColor->color();
    ABrushSet.MColor = CPB_MColor->color();
    ABrushSet.IColor = CPB_IColor->color();
    ABrushSet.ILColor = CPB_ILColor->color();
    ABrushSet.ISColor = CPB_SelColor->color();
    ABrushSet.MSColor = CPB_SelColor->color();
    ABrushSet.MLColor = CPB_MLColor->color();
    ABrushSet.RALColor = CPB_RAL->color();
    ABrushSet.ISize = SE_ISize->value();
    ABrushSet.MSize = SE_MSize->value();
    ABrushSet.RALLength = SE_RALLength->value();
    ABrushSet.ILWidth = SE_ILWidth->value();
    ABrushSet.MWidth = SE_Mwidth->value();
    ABrushSet.RALWidth = SE_RALWidth->value();
    ABrushSet.ScaleRAL = CB_ScaleRAL->isChecked();
    ABrushSet.MCursor = qMax(0, CB_MCursor->currentIndex());
    ABrushSet.ICursor = qMax(0, CB_ICursor->currentIndex());
    ABrushSet.SCursor = qMax(0, CB_SCursor->currentIndex());
    ABrushSet.LVisible = SettingLVisible;
    ABrushSet.RALVisible = SettingRALVisible;
    ABrushSet.OVisible = SettingOVisible;
    ABrushSet.TVisible = SettingTVisible;
}

void TF_Setup::ChangeBrushSet(TBrushSet* ABrushSet)
{
    if (!ABrushSet)
        return;
    CurrentBrushSet = ABrushSet;
    ApplyBrushSetToSettings(*ABrushSet);
    if (F_Main) {
        F_Main->A_LengthToggle->setChecked(ABrushSet->LVisible);
        F_Main->A_RALToggle->setChecked(ABrushSet->RALVisible);
        F_Main->A_ObjectToggle->setChecked(ABrushSet->OVisible);
        F_Main->A_TextToggle->setChecked(ABrushSet->TVisible);
        for (TF_SMDI* w : F_Main->MDIChildren())
            w->SmoothDraw(false);
    }
}
