// The settings dialog against a real main window: every control shows its variable when the
// dialog shows and "&Apply" writes it back; "&Close" keeps the old values; ranges clamp; Apply
// repaints open image windows, recolours the desktop and moves, starts and stops the link to a
// loopback RAXO; the brush-set editor names, refuses, stores and deletes presets.
#include "shell/TF_Setup.h"

#include "platform/FakeDialogs.h"
#include "platform/ShellOpen.h"
#include "project/Settings.h"
#include "project/TBrushSet.h"
#include "project/TJEXProject.h"
#include "shell/FileListModel.h"
#include "shell/HelpViewer.h"
#include "shell/RAXOLink.h"
#include "shell/SettingsStore.h"
#include "shell/TColorPickerButton.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress2.h"
#include "shell/TFloatEdit.h"
#include "shell/TPageControlEx.h"
#include "shell/TThinTrackBar.h"
#include "support/FakeRaxo.h"
#include "support/ImageWindowTest.h"
#include "support/MainWindowTest.h"
#include "support/ModalDialogs.h"
#include "workspace/TF_EditBrushName.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_Zoom.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBrowser>
#include <QTcpSocket>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using testhelpers::FakeRaxo;
using testhelpers::waitFor;
using testhelpers::whenShown;

class SetupDialog : public testhelpers::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        WindowValues() = StoredWindowValues();
        createMain();
        F_Measurements = new TF_Measurements(main.get());
        F_Setup = new TF_Setup(main.get());
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        WindowValues() = StoredWindowValues();
        setUrlOpener(nullptr);
        TColorPickerButton::chooser() = nullptr;
    }

    // Shows the dialog on the page `tag` without running a modal loop.
    TF_Setup* show(int tag = 0)
    {
        F_Setup->Tag = tag;
        F_Setup->show();
        QCoreApplication::processEvents();
        return F_Setup;
    }
    void closeDialog()
    {
        F_Setup->B_Cancel->click();
        QCoreApplication::processEvents();
    }
};

// One control: puts a value into the control different from the variable's, and reads back
// both what the control shows and what the variable holds, as text.
struct ControlCase {
    const char* name;
    std::function<void()> setVariable;    // a first value into the variable
    std::function<QString(TF_Setup*)> shown; // what the control shows
    std::function<void(TF_Setup*)> change; // a second value into the control
    std::function<QString()> variable;    // what the variable holds
    QString first;
    QString second;
};

QString num(int v) { return QString::number(v); }
QString flag(bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); }

std::vector<ControlCase> controlCases()
{
    auto boolCase = [](const char* name, bool* var, QCheckBox* TF_Setup::*box) {
        return ControlCase{name,
                           [var] { *var = true; },
                           [box](TF_Setup* d) { return flag((d->*box)->isChecked()); },
                           [box](TF_Setup* d) { (d->*box)->setChecked(false); },
                           [var] { return flag(*var); },
                           flag(true),
                           flag(false)};
    };
    auto spinCase = [](const char* name, int* var, QSpinBox* TF_Setup::*box, int a, int b) {
        return ControlCase{name,
                           [var, a] { *var = a; },
                           [box](TF_Setup* d) { return num((d->*box)->value()); },
                           [box, b](TF_Setup* d) { (d->*box)->setValue(b); },
                           [var] { return num(*var); },
                           num(a),
                           num(b)};
    };
    auto colorCase = [](const char* name, int* var, TColorPickerButton* TF_Setup::*box) {
        return ControlCase{name,
                           [var] { *var = 0x00123456; },
                           [box](TF_Setup* d) { return num((d->*box)->color()); },
                           [box](TF_Setup* d) { (d->*box)->setColor(0x00ABCDEF); },
                           [var] { return num(*var); },
                           num(0x00123456),
                           num(0x00ABCDEF)};
    };
    auto comboCase = [](const char* name, int* var, QComboBox* TF_Setup::*box, int a, int b) {
        return ControlCase{name,
                           [var, a] { *var = a; },
                           [box](TF_Setup* d) { return num((d->*box)->currentIndex()); },
                           [box, b](TF_Setup* d) { (d->*box)->setCurrentIndex(b); },
                           [var] { return num(*var); },
                           num(a),
                           num(b)};
    };
    auto textCase = [](const char* name, QString* var, QLineEdit* TF_Setup::*box) {
        return ControlCase{name,
                           [var] { *var = QStringLiteral("first"); },
                           [box](TF_Setup* d) { return (d->*box)->text(); },
                           [box](TF_Setup* d) { (d->*box)->setText(QStringLiteral("second")); },
                           [var] { return *var; },
                           QStringLiteral("first"),
                           QStringLiteral("second")};
    };
    using S = TF_Setup;
    return {
        boolCase("EnableAutoScroll", &SettingEnableAutoScroll, &S::CB_AutoScroll),
        spinCase("AutoScrollSpeed", &SettingAutoScrollSpeed, &S::SE_AutoScrollSpeed, 7, 19),
        boolCase("GestureScrolling", &SettingGestureScrolling, &S::CB_Gesture),
        boolCase("TWAINCancel", &SettingTWAINCancel, &S::CB_TWAINCancel),
        boolCase("DynamicImages", &SettingDynamicImages, &S::CB_DynamicEnable),
        boolCase("EmbedImages", &SettingEmbedImages, &S::CB_EmbedImages),
        boolCase("AutoFocus", &SettingAutoFocus, &S::CB_Autofocus),
        boolCase("AutoCheckUpdates", &SettingAutoCheckUpdates, &S::CB_AutoCheckUpdates),
        colorCase("AreaColor", &SettingAreaColor, &S::CPB_AreaColor),
        comboCase("AreaBrush", &SettingAreaBrush, &S::CB_AreaBrush, 3, 6),
        colorCase("TextColor", &SettingTextColor, &S::CPB_TColor),
        spinCase("FSize", &SettingFSize, &S::SE_FontSize, 14, 999),
        spinCase("TextAngle", &SettingTextAngle, &S::SE_Angle, 45, 90),
        boolCase("FixedFontSize", &SettingFixedFontSize, &S::CB_FixedFontSize),
        spinCase("Digits", &SettingDigits, &S::SE_RoundDigits, 1, 4),
        comboCase("ResamplingAlgorithm", &SettingResamplingAlgorithm, &S::CB_ResampleAlgorithm, 2, 3),
        boolCase("UseMovingTransparency", &SettingUseMovingTransparency, &S::CB_MovingTransparency),
        ControlCase{"MovingTransparency",
                    [] { SettingMovingTransparency = 40; },
                    [](S* d) { return num(d->TB_MovingTransparency->value()); },
                    [](S* d) { d->TB_MovingTransparency->setValue(255); },
                    [] { return num(SettingMovingTransparency); },
                    num(40),
                    num(255)},
        colorCase("IColor", &SettingIColor, &S::CPB_IColor),
        spinCase("ISize", &SettingISize, &S::SE_ISize, 3, 20),
        colorCase("ILColor", &SettingILColor, &S::CPB_ILColor),
        boolCase("DrawIndexLines", &SettingDrawIndexLines, &S::CB_DrawIndexLines),
        spinCase("ILWidth", &SettingILWidth, &S::SE_ILWidth, 2, 5),
        colorCase("MColor", &SettingMColor, &S::CPB_MColor),
        spinCase("MSize", &SettingMSize, &S::SE_MSize, 3, 1),
        colorCase("MLColor", &SettingMLColor, &S::CPB_MLColor),
        spinCase("MWidth", &SettingMWidth, &S::SE_Mwidth, 2, 4),
        colorCase("RALColor", &SettingRALColor, &S::CPB_RAL),
        spinCase("RALLength", &SettingRALLength, &S::SE_RALLength, 50, 12345),
        spinCase("RALWidth", &SettingRALWidth, &S::SE_RALWidth, 2, 3),
        boolCase("ScaleRAL", &SettingScaleRAL, &S::CB_ScaleRAL),
        colorCase("MSColor", &SettingMSColor, &S::CPB_SelColor),
        spinCase("SSize", &SettingSSize, &S::SE_EnlargeSelected, 2, 5),
        spinCase("ZoomWidth", &SettingZoomWidth, &S::SE_ZoomArea, 41, 99),
        boolCase("FilePreview", &SettingFilePreview, &S::CB_DisplayFilePreview),
        ControlCase{"FileManagerDisplayEverything (negated)",
                    [] { SettingFileManagerDisplayEverything = true; },
                    [](S* d) { return flag(!d->CB_FileManagerExtensions->isChecked()); },
                    [](S* d) { d->CB_FileManagerExtensions->setChecked(true); },
                    [] { return flag(SettingFileManagerDisplayEverything); },
                    flag(true),
                    flag(false)},
        ControlCase{"FileManagerDisplayExtensions",
                    [] { SettingFileManagerDisplayExtensions = {QStringLiteral("jex"), QStringLiteral("jpg")}; },
                    [](S* d) { return d->E_FileManagerAllowExtensions->text(); },
                    [](S* d) { d->E_FileManagerAllowExtensions->setText(QStringLiteral("tif,png,jex4")); },
                    [] { return SettingFileManagerDisplayExtensions.join(QLatin1Char(',')); },
                    QStringLiteral("jex,jpg"),
                    QStringLiteral("tif,png,jex4")},
        comboCase("MCursor", &SettingMCursor, &S::CB_MCursor, 1, 5),
        comboCase("ICursor", &SettingICursor, &S::CB_ICursor, 2, 0),
        comboCase("SCursor", &SettingSCursor, &S::CB_SCursor, 3, 4),
        colorCase("CADColor", &SettingCADColor, &S::CPB_CADColor),
        boolCase("CADCursor", &SettingCADCursor, &S::CB_CADVisible),
        boolCase("SwitchOffCursor", &SettingSwitchOffCursor, &S::CB_SwitchOffCursor),
        boolCase("TCPIPAutoConnect", &SettingTCPIPAutoConnect, &S::CB_CheckTCPConnection),
        textCase("Path_PTOGen", &SettingPath_PTOGen, &S::E_PTOGen),
        textCase("Path_CPFind", &SettingPath_CPFind, &S::E_CPFind),
        textCase("ProxyServer", &SettingProxyServer, &S::E_ProxyServer),
        ControlCase{"ProxyPort",
                    [] { SettingProxyPort = 8080; },
                    [](S* d) { return num(qRound(d->E_ProxyPort->Value())); },
                    [](S* d) { d->E_ProxyPort->setValue(3128); },
                    [] { return num(SettingProxyPort); },
                    num(8080),
                    num(3128)},
        textCase("ProxyUser", &SettingProxyUser, &S::E_ProxyUsername),
        textCase("ProxyPassword", &SettingProxyPassword, &S::E_ProxyPassword),
        boolCase("ProxyUseAuthentication", &SettingProxyUseAuthentication, &S::CB_ProxyAuthentication),
        boolCase("UseProxy", &SettingUseProxy, &S::CB_UseProxy),
    };
}

TEST_F(SetupDialog, EveryControlShowsItsVariableApplyWritesItAndCloseKeepsIt)
{
    const std::vector<ControlCase> cases = controlCases();
    for (const ControlCase& c : cases)
        c.setVariable();
    TF_Setup* d = show();
    for (const ControlCase& c : cases)
        EXPECT_EQ(c.shown(d), c.first) << c.name << " shown";

    // Closing without Apply: every variable keeps its value, and the next showing shows it again.
    for (const ControlCase& c : cases)
        c.change(d);
    closeDialog();
    for (const ControlCase& c : cases)
        EXPECT_EQ(c.variable(), c.first) << c.name << " after Close";
    d = show();
    for (const ControlCase& c : cases)
        EXPECT_EQ(c.shown(d), c.first) << c.name << " shown again";

    for (const ControlCase& c : cases)
        c.change(d);
    d->B_Apply->click();
    for (const ControlCase& c : cases)
        EXPECT_EQ(c.variable(), c.second) << c.name << " after Apply";
    EXPECT_TRUE(d->isVisible()) << "Apply does not close";
    closeDialog();
}

TEST_F(SetupDialog, PagesFollowTheTreeWithHeaderAndHelpContext)
{
    TF_Setup* d = show(2); // as the Brush Sets command opens it
    EXPECT_EQ(d->PCE->currentIndex(), 2);
    EXPECT_EQ(d->P_Top->text(), QStringLiteral(" Object display parameters"));
    EXPECT_EQ(d->HelpContext, 5034);
    for (int i = 0; i < d->PCE->count(); ++i)
        EXPECT_FALSE(d->PCE->isTabVisible(i)) << "page " << i;

    const struct {
        int node;
        const char* header;
        int help;
    } rows[] = {{0, " System", 5036},          {1, " General display parameters", 5031},
                {3, " Helper windows", 5032},  {4, " Cursors", 5030},
                {5, " RAXO link", 5035},       {6, " Image alignment", 5033},
                {7, " Network settings", 5033}}; // node 7 keeps the help context before it
    for (const auto& r : rows) {
        d->TV_Select->setCurrentItem(d->TV_Select->topLevelItem(r.node));
        EXPECT_EQ(d->PCE->currentIndex(), r.node);
        EXPECT_EQ(d->P_Top->text(), QString::fromLatin1(r.header));
        EXPECT_EQ(d->HelpContext, r.help) << "node " << r.node;
    }
    // The current node no longer selected: the first page.
    d->TV_Select->clearSelection();
    d->UpdateSetup();
    EXPECT_EQ(d->PCE->currentIndex(), 0);
    EXPECT_EQ(d->P_Top->text(), QStringLiteral(" System"));
    closeDialog();

    d = show(0);
    EXPECT_EQ(d->PCE->currentIndex(), 0);
    EXPECT_EQ(d->HelpContext, 5036);
    closeDialog();
}

TEST_F(SetupDialog, CommandsOpenTheDialogOnTheirPage)
{
    BrushSetList.push_back(std::make_unique<TBrushSet>()); // the Brush Sets button needs one
    main->AMUpdate();
    const struct {
        QAction* TF_Main::*action;
        int page;
    } rows[] = {{&TF_Main::A_Setup, 0}, {&TF_Main::A_BrushSets, 2}};
    for (const auto& r : rows) {
        int page = -1;
        whenShown<TF_Setup>([&page](TF_Setup* d) {
            page = d->PCE->currentIndex();
            d->B_Cancel->click();
        });
        (main.get()->*r.action)->trigger();
        EXPECT_EQ(page, r.page);
    }

    // The image window's popup opens it on "General display parameters".
    main->A_NewProject->trigger();
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    w->UpdateDOState();
    ASSERT_TRUE(w->A_Setup->isEnabled());
    int page = -1;
    whenShown<TF_Setup>([&page](TF_Setup* d) {
        page = d->PCE->currentIndex();
        d->B_Cancel->click();
    });
    w->A_Setup->trigger();
    EXPECT_EQ(page, 1);
}

TEST_F(SetupDialog, ValuesOutsideAControlsRangeAreClamped)
{
    SettingISize = 50;        // 1 to 20
    SettingAutoScrollSpeed = 1; // 2 to 20
    SettingDigits = 9;        // 0 to 4
    SettingTextAngle = -5;    // 0 to 90
    SettingAreaBrush = 8;     // 0 to 7
    SettingSCursor = 6;       // 0 to 5
    TF_Setup* d = show();
    EXPECT_EQ(d->SE_ISize->value(), 20);
    EXPECT_EQ(d->SE_AutoScrollSpeed->value(), 2);
    EXPECT_EQ(d->SE_RoundDigits->value(), 4);
    EXPECT_EQ(d->SE_Angle->value(), 0);
    EXPECT_EQ(d->CB_AreaBrush->currentIndex(), -1) << "no such brush: none is shown";
    EXPECT_EQ(d->CB_SCursor->currentIndex(), -1);

    d->SE_FontSize->setValue(5000);
    d->SE_ZoomArea->setValue(3);
    d->FE_Port->setValue(70000);
    d->B_Apply->click();
    EXPECT_EQ(SettingISize, 20);
    EXPECT_EQ(SettingFSize, 1000);
    EXPECT_EQ(SettingZoomWidth, 10);
    EXPECT_EQ(main->Link->Port(), 65535);
    EXPECT_EQ(SettingAreaBrush, 0) << "none shown is applied as the first";
    EXPECT_EQ(SettingSCursor, 0);
    closeDialog();
}

TEST_F(SetupDialog, MissingFontShowsNoSelectionAndAppliesAnEmptyName)
{
    SettingFontName = QStringLiteral("No Such Font 9c1e");
    TF_Setup* d = show(1);
    EXPECT_EQ(d->CB_Font->currentIndex(), -1);
    d->B_Apply->click();
    EXPECT_EQ(SettingFontName, QString());
    closeDialog();

    if (d->CB_Font->count() > 0) {
        const QString installed = d->CB_Font->itemText(0);
        SettingFontName = installed;
        d = show(1);
        EXPECT_EQ(d->CB_Font->currentText(), installed);
        d->B_Apply->click();
        EXPECT_EQ(SettingFontName, installed);
        closeDialog();
    }
}

TEST_F(SetupDialog, ClipboardOptionTakesEffectAtOnce)
{
    WindowValues().ClearClipboard = false;
    TF_Setup* d = show();
    d->CB_ClearClipboard->setChecked(true);
    EXPECT_TRUE(WindowValues().ClearClipboard);
    closeDialog();
    EXPECT_TRUE(WindowValues().ClearClipboard) << "Close keeps it";
}

TEST_F(SetupDialog, HelperWindowValuesGoToTheStore)
{
    TF_Setup* d = show(3);
    d->CB_ZoomDisplayCrosshairs->setChecked(false);
    d->CPB_ZoomCrosshairsColor->setColor(0x00102030);
    d->CPB_BirdThumbnailcolor->setColor(0x00405060);
    d->CB_BirdHighlight->setChecked(false);
    d->B_Apply->click();
    const StoredWindowValues& v = WindowValues();
    EXPECT_FALSE(v.Zoom.DisplayCrossHairs);
    EXPECT_EQ(v.Zoom.CrossHairColor, 0x00102030);
    EXPECT_EQ(v.BirdView.Thumbnailcolor, 0x00405060);
    EXPECT_FALSE(v.BirdView.HighlightArea);
    closeDialog();
}

TEST_F(SetupDialog, ApplyRepaintsOpenWindowsAndTheDesktop)
{
    main->show();
    QCoreApplication::processEvents();
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    // A wide picture fitted to the window leaves the surrounding area below it.
    ASSERT_EQ(w->LoadImageFromHandle(testhelpers::patterned(200, 10)), 1);
    w->FitToScreen();
    w->SmoothDraw(true);
    ASSERT_FALSE(w->B_Foreground.isNull());
    const QPoint corner(w->B_Foreground.width() - 1, w->B_Foreground.height() - 1);
    const QRgb before = w->B_Foreground.pixel(corner);

    TF_Setup* d = show(1);
    d->CPB_AreaColor->setColor(0x000000FF); // red, $00BBGGRR
    d->CB_AreaBrush->setCurrentIndex(0);    // solid
    d->CPB_Desktop->setColor(0x0000FF00);
    d->SE_Mwidth->setValue(3);
    EXPECT_EQ(w->B_Foreground.pixel(corner), before) << "nothing changes before Apply";
    d->B_Apply->click();
    EXPECT_EQ(w->B_Foreground.pixel(corner), qRgb(255, 0, 0));
    EXPECT_EQ(F_Progress2, nullptr) << "the busy box is gone";
    EXPECT_EQ(main->mdiArea()->background().color(), QColor(0, 255, 0));
    EXPECT_EQ(WindowValues().DesktopColor, 0x0000FF00);
    closeDialog();
}

// The magnifier's picture carries its crosshairs: Apply draws it anew in the new colour.
TEST_F(SetupDialog, ApplyRepaintsTheMagnifier)
{
    main->show();
    QCoreApplication::processEvents();
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    QImage gray(200, 100, QImage::Format_RGB888);
    gray.fill(QColor(128, 128, 128)); // neither colour of the crosshairs
    ASSERT_EQ(w->LoadImageFromHandle(gray), 1);
    w->SmoothDraw(true);
    F_Zoom = new TF_Zoom(main.get());
    F_Zoom->resize(120, 120);
    F_Zoom->show();
    F_Zoom->drawcrosshairs = true;
    F_Zoom->crosshaircolor = 0x000000FF; // red, $00BBGGRR
    F_Zoom->UpdateZoom(w);
    auto pixelsOf = [](const QImage& image, QRgb colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == colour ? 1 : 0;
        return n;
    };
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0);
    ASSERT_GT(pixelsOf(F_Zoom->view(), red), 0);
    ASSERT_EQ(pixelsOf(F_Zoom->view(), green), 0);

    TF_Setup* d = show(3);
    d->CPB_ZoomCrosshairsColor->setColor(0x0000FF00);
    d->B_Apply->click();
    EXPECT_GT(pixelsOf(F_Zoom->view(), green), 0) << "the crosshairs show the new colour at once";
    EXPECT_EQ(pixelsOf(F_Zoom->view(), red), 0);
    d->CB_ZoomDisplayCrosshairs->setChecked(false);
    d->B_Apply->click();
    EXPECT_EQ(pixelsOf(F_Zoom->view(), green), 0) << "switched off, they go at once";
    closeDialog();
    w->Project->Changed = false;
}

// F1 on a page opens the help where that page is described.
TEST_F(SetupDialog, F1OpensTheHelpAtThePagesTopic)
{
    TF_Setup* d = show(0);
    QApplication::setActiveWindow(d);
    QFile file(QStringLiteral(":/help/index.html"));
    const struct {
        int node;
        const char* topic;
    } rows[] = {{0, "setup-system"},  {1, "setup-display"}, {2, "setup-objects"},  {3, "setup-helpers"},
                {4, "setup-cursors"}, {5, "setup-link"},    {6, "setup-alignment"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.topic);
        d->TV_Select->setCurrentItem(d->TV_Select->topLevelItem(r.node));
        d->TV_Select->setFocus();
        QTest::keyClick(d->TV_Select, Qt::Key_F1);
        ASSERT_NE(F_Help, nullptr);
        EXPECT_TRUE(F_Help->isVisible());
        EXPECT_EQ(F_Help->browser()->source().fragment(), QString::fromLatin1(r.topic));
        if (!file.isOpen()) {
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        }
        EXPECT_TRUE(QString::fromUtf8(file.readAll()).contains(QStringLiteral("<a name=\"%1\">").arg(QLatin1String(r.topic))));
        file.seek(0);
        F_Help->hide();
    }
    closeDialog();
}

TEST_F(SetupDialog, CadCursorApplyChecksTheMainWindowsAction)
{
    TF_Setup* d = show(4);
    d->CB_CADVisible->setChecked(true);
    d->B_Apply->click();
    EXPECT_TRUE(SettingCADCursor);
    EXPECT_TRUE(main->A_CADCursor->isChecked());
    closeDialog();
}

class SetupLink : public SetupDialog {
protected:
    void SetUp() override
    {
        SetupDialog::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(first.listen());
        ASSERT_TRUE(second.listen());
        SettingTCPIPAutoConnect = true;
        main->Link->SetAddress(QStringLiteral("127.0.0.1"));
        main->Link->SetPort(first.port());
        main->Link->T_TCPTimer();
        ASSERT_TRUE(first.accept());
        ASSERT_TRUE(waitFor([this] { return main->Link->Connected(); }));
    }

    FakeRaxo first;
    FakeRaxo second;
};

TEST_F(SetupLink, ChangedPortReconnectsToTheNewPlace)
{
    TF_Setup* d = show(5);
    EXPECT_EQ(d->E_IP->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(qRound(d->FE_Port->Value()), first.port());
    d->FE_Port->setValue(second.port());
    d->B_Apply->click();
    ASSERT_TRUE(second.accept());
    EXPECT_TRUE(waitFor([this] { return main->Link->Connected(); }));
    EXPECT_EQ(main->Link->Port(), second.port());
    EXPECT_TRUE(waitFor([this] { return !first.peer || first.peer->state() != QAbstractSocket::ConnectedState; }))
        << "the old connection ends";
    EXPECT_TRUE(main->Link->T_TCP->isActive());
    closeDialog();
}

TEST_F(SetupLink, UnchangedPlaceKeepsTheConnection)
{
    TF_Setup* d = show(5);
    d->B_Apply->click();
    ASSERT_TRUE(main->Link->RequestR5Update());
    EXPECT_TRUE(first.expect(RAXOLink::UpdateRequest())) << "the same connection carries it";
    EXPECT_TRUE(main->Link->Connected());
    EXPECT_EQ(second.server.hasPendingConnections(), false);
    closeDialog();
}

TEST_F(SetupLink, AutoConnectOffStopsTheLinkAndOnStartsIt)
{
    TF_Setup* d = show(5);
    d->CB_CheckTCPConnection->setChecked(false);
    d->B_Apply->click();
    EXPECT_TRUE(waitFor([this] { return !main->Link->Connected(); }));
    EXPECT_FALSE(SettingTCPIPAutoConnect);
    testhelpers::settle(50);
    EXPECT_FALSE(first.server.hasPendingConnections()) << "no new attempt while auto connect is off";

    d->CB_CheckTCPConnection->setChecked(true);
    d->B_Apply->click();
    ASSERT_TRUE(first.accept());
    EXPECT_TRUE(waitFor([this] { return main->Link->Connected(); }));
    closeDialog();
}

// ---- brush sets ----

class SetupBrushSets : public SetupDialog {
protected:
    void addSet(const QString& name)
    {
        auto set = std::make_unique<TBrushSet>();
        set->BName = name;
        BrushSetList.push_back(std::move(set));
    }
    // Presses a button that opens the name dialog and answers it with `name` (empty: Cancel).
    void answerName(QToolButton* button, const QString& name)
    {
        whenShown<TF_EditBrushName>([name](TF_EditBrushName* n) {
            if (name.isEmpty()) {
                n->B_Cancel->click();
                return;
            }
            n->E_BrushName->setText(name);
            n->B_Ok->click();
        });
        button->click();
    }
    QStringList names() const
    {
        QStringList out;
        for (const auto& s : BrushSetList)
            out << s->BName;
        return out;
    }
};

TEST_F(SetupBrushSets, AddCutsNamesRefusesDuplicatesAndTakesTheDialogsValues)
{
    addSet(QStringLiteral("Dark"));
    TF_Setup* d = show(2);
    d->CPB_MColor->setColor(0x00112233); // not applied: the set takes the control's value
    d->SE_ISize->setValue(9);
    const QString longName = QStringLiteral("abcdefghijklmnopqrstuvwxyz1234");
    answerName(d->BB_AddBrushSet, longName);
    ASSERT_EQ(BrushSetList.size(), 2u);
    EXPECT_EQ(BrushSetList[1]->BName, longName.left(24));
    EXPECT_EQ(BrushSetList[1]->MColor, 0x00112233);
    EXPECT_EQ(BrushSetList[1]->ISize, 9);
    EXPECT_NE(SettingMColor, 0x00112233);
    EXPECT_EQ(d->CB_BrushSet->currentIndex(), 1);
    EXPECT_EQ(CurrentBrushSet, nullptr) << "a new set does not become current";

    answerName(d->BB_AddBrushSet, QStringLiteral("Dark"));
    EXPECT_EQ(BrushSetList.size(), 2u);
    ASSERT_FALSE(fake->shown().isEmpty());
    EXPECT_EQ(fake->shown().last().text,
              QStringLiteral("A Brush set with this name already exists!\r\nPlease use a different name."));

    answerName(d->BB_AddBrushSet, QStringLiteral("dark")); // another letter case is another name
    EXPECT_EQ(names(), QStringList({QStringLiteral("Dark"), longName.left(24), QStringLiteral("dark")}));

    answerName(d->BB_AddBrushSet, QString()); // cancelled
    EXPECT_EQ(BrushSetList.size(), 3u);
    EXPECT_EQ(main->M_BrushSets->actions().size(), 4) << "the placeholder and one entry per set";
    closeDialog();
}

TEST_F(SetupBrushSets, EditRenamesTheCurrentSetAndRefusesItsOwnName)
{
    addSet(QStringLiteral("One"));
    addSet(QStringLiteral("Two"));
    CurrentBrushSet = BrushSetList[1].get();
    TF_Setup* d = show(2);
    EXPECT_EQ(d->CB_BrushSet->currentText(), QStringLiteral("Two"));
    answerName(d->BB_RenameBrushSet, QStringLiteral("Two"));
    EXPECT_EQ(names(), QStringList({QStringLiteral("One"), QStringLiteral("Two")}));
    EXPECT_EQ(fake->shown().size(), 1);

    d->CB_BrushSet->setCurrentIndex(0); // the box's entry is not what Edit renames
    answerName(d->BB_RenameBrushSet, QStringLiteral("Three"));
    EXPECT_EQ(names(), QStringList({QStringLiteral("One"), QStringLiteral("Three")}));
    ASSERT_EQ(main->M_BrushSets->actions().size(), 3);
    EXPECT_EQ(main->M_BrushSets->actions()[2]->text(), QStringLiteral("Three")) << "the main menu has the new name";
    closeDialog();
}

TEST_F(SetupBrushSets, DeleteAsksAndForgetsTheCurrentSet)
{
    addSet(QStringLiteral("Only"));
    CurrentBrushSet = BrushSetList[0].get();
    TF_Setup* d = show(2);
    fake->answerMessage(mrNo);
    d->BB_RemoveBrushSet->click();
    EXPECT_EQ(BrushSetList.size(), 1u);
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("Remove brush set Only?"));

    fake->answerMessage(mrYes);
    d->BB_RemoveBrushSet->click();
    EXPECT_TRUE(BrushSetList.empty());
    EXPECT_EQ(CurrentBrushSet, nullptr);
    EXPECT_EQ(d->CB_BrushSet->count(), 0);
    EXPECT_EQ(d->CB_BrushSet->currentIndex(), -1);
    EXPECT_FALSE(d->BB_RemoveBrushSet->isEnabled());
    EXPECT_FALSE(d->BB_RenameBrushSet->isEnabled());
    EXPECT_EQ(main->M_BrushSets->actions().size(), 1) << "only the placeholder is left";
    closeDialog();
}

TEST_F(SetupBrushSets, DeletingOneOfSeveralChoosesTheLastLeft)
{
    addSet(QStringLiteral("A"));
    addSet(QStringLiteral("B"));
    addSet(QStringLiteral("C"));
    TF_Setup* d = show(2);
    ASSERT_EQ(d->CB_BrushSet->currentIndex(), -1) << "no set is current";
    auto enabled = [d] {
        return QList<bool>({d->BB_RenameBrushSet->isEnabled(), d->BB_UseCurrentSettings->isEnabled(),
                            d->BB_RemoveBrushSet->isEnabled()});
    };
    EXPECT_EQ(enabled(), QList<bool>({false, false, false})) << "Edit, Store and Delete need a chosen set";

    d->CB_BrushSet->setCurrentIndex(0);
    fake->answerMessage(mrYes);
    d->BB_RemoveBrushSet->click();
    EXPECT_EQ(names(), QStringList({QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_EQ(d->CB_BrushSet->currentText(), QStringLiteral("C"));
    EXPECT_EQ(enabled(), QList<bool>({true, true, true}));
    closeDialog();
}

TEST_F(SetupBrushSets, StoreWritesTheControlsIntoTheChosenSet)
{
    addSet(QStringLiteral("A"));
    addSet(QStringLiteral("B"));
    SettingLVisible = true;
    TF_Setup* d = show(2);
    d->CB_BrushSet->setCurrentIndex(1);
    d->SE_RALLength->setValue(77);
    d->CB_MCursor->setCurrentIndex(4);
    d->CPB_SelColor->setColor(0x00010203);
    d->BB_UseCurrentSettings->click();
    const TBrushSet& b = *BrushSetList[1];
    EXPECT_EQ(b.RALLength, 77);
    EXPECT_EQ(b.MCursor, 4);
    EXPECT_EQ(b.MSColor, 0x00010203);
    EXPECT_EQ(b.ISColor, 0x00010203);
    EXPECT_TRUE(b.LVisible);
    EXPECT_EQ(BrushSetList[0]->RALLength, 0) << "the other set is untouched";
    closeDialog();
}

// Every control a set holds goes into it, each with a value of its own.
TEST_F(SetupBrushSets, StoreTakesEveryControlOfTheSet)
{
    addSet(QStringLiteral("A"));
    TF_Setup* d = show(2);
    d->CB_BrushSet->setCurrentIndex(0);
    const struct {
        const char* name;
        std::function<void(TF_Setup*)> set;
        std::function<int(const TBrushSet&)> stored;
        int value;
    } rows[] = {
        {"CAD colour", [](TF_Setup* s) { s->CPB_CADColor->setColor(0x00000101); },
         [](const TBrushSet& b) { return b.CadColor; }, 0x00000101},
        {"measure colour", [](TF_Setup* s) { s->CPB_MColor->setColor(0x00000202); },
         [](const TBrushSet& b) { return b.MColor; }, 0x00000202},
        {"index colour", [](TF_Setup* s) { s->CPB_IColor->setColor(0x00000303); },
         [](const TBrushSet& b) { return b.IColor; }, 0x00000303},
        {"index line colour", [](TF_Setup* s) { s->CPB_ILColor->setColor(0x00000404); },
         [](const TBrushSet& b) { return b.ILColor; }, 0x00000404},
        {"measure line colour", [](TF_Setup* s) { s->CPB_MLColor->setColor(0x00000505); },
         [](const TBrushSet& b) { return b.MLColor; }, 0x00000505},
        {"RAL colour", [](TF_Setup* s) { s->CPB_RAL->setColor(0x00000606); },
         [](const TBrushSet& b) { return b.RALColor; }, 0x00000606},
        {"index size", [](TF_Setup* s) { s->SE_ISize->setValue(17); }, [](const TBrushSet& b) { return b.ISize; }, 17},
        {"measure size", [](TF_Setup* s) { s->SE_MSize->setValue(2); }, [](const TBrushSet& b) { return b.MSize; }, 2},
        {"RAL length", [](TF_Setup* s) { s->SE_RALLength->setValue(321); },
         [](const TBrushSet& b) { return b.RALLength; }, 321},
        {"index line width", [](TF_Setup* s) { s->SE_ILWidth->setValue(5); },
         [](const TBrushSet& b) { return b.ILWidth; }, 5},
        {"measure line width", [](TF_Setup* s) { s->SE_Mwidth->setValue(4); },
         [](const TBrushSet& b) { return b.MWidth; }, 4},
        {"RAL width", [](TF_Setup* s) { s->SE_RALWidth->setValue(3); },
         [](const TBrushSet& b) { return b.RALWidth; }, 3},
        {"RAL scaled", [](TF_Setup* s) { s->CB_ScaleRAL->setChecked(true); },
         [](const TBrushSet& b) { return int(b.ScaleRAL); }, 1},
        {"measure cursor", [](TF_Setup* s) { s->CB_MCursor->setCurrentIndex(5); },
         [](const TBrushSet& b) { return b.MCursor; }, 5},
        {"index cursor", [](TF_Setup* s) { s->CB_ICursor->setCurrentIndex(3); },
         [](const TBrushSet& b) { return b.ICursor; }, 3},
        {"select cursor", [](TF_Setup* s) { s->CB_SCursor->setCurrentIndex(4); },
         [](const TBrushSet& b) { return b.SCursor; }, 4},
    };
    for (const auto& r : rows)
        r.set(d);
    d->BB_UseCurrentSettings->click();
    for (const auto& r : rows)
        EXPECT_EQ(r.stored(*BrushSetList[0]), r.value) << r.name;
    closeDialog();
}

TEST_F(SetupBrushSets, ChoosingAPresetInTheMainWindowCopiesItIntoTheSettings)
{
    addSet(QStringLiteral("Bright"));
    BrushSetList[0]->MColor = 0x00FFEEDD;
    BrushSetList[0]->ISize = 11;
    // Each display toggle unlike its neighbour, so that a crossed wire shows.
    BrushSetList[0]->LVisible = false;
    BrushSetList[0]->RALVisible = true;
    BrushSetList[0]->OVisible = false;
    BrushSetList[0]->TVisible = true;
    main->SetBrushSets();
    const QList<QAction*> entries = main->M_BrushSets->actions();
    ASSERT_EQ(entries.size(), 2);
    entries[1]->trigger();
    EXPECT_EQ(CurrentBrushSet, BrushSetList[0].get());
    EXPECT_EQ(SettingMColor, 0x00FFEEDD);
    EXPECT_EQ(SettingISize, 11);
    EXPECT_EQ(QList<bool>({main->A_LengthToggle->isChecked(), main->A_RALToggle->isChecked(),
                           main->A_ObjectToggle->isChecked(), main->A_TextToggle->isChecked()}),
              QList<bool>({false, true, false, true}));
}

// ---- tool paths and the Hugin page ----

TEST_F(SetupDialog, ApplyListsTheFileManagersFolderWithTheNewExtensions)
{
    for (const char* name : {"a.jpg", "b.png", "c.tif"}) {
        QFile f(path(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    SettingFileManagerDisplayEverything = false;
    SettingFileManagerDisplayExtensions = {QStringLiteral("jpg")};
    F_FileManager = new TF_FileManager(main.get());
    auto listed = [] {
        QStringList names;
        for (int r = 0; r < F_FileManager->Files->rowCount(); ++r)
            names << F_FileManager->Files->index(r, 0).data().toString();
        return names;
    };
    F_FileManager->BrowseTo(dir.path());
    ASSERT_TRUE(waitFor([&] { return listed() == QStringList{QStringLiteral("a.jpg")}; }));
    TF_Setup* d = show();
    d->E_FileManagerAllowExtensions->setText(QStringLiteral("png,tif"));
    d->B_Apply->click();
    EXPECT_TRUE(waitFor([&] { return listed() == QStringList({QStringLiteral("b.png"), QStringLiteral("c.tif")}); }))
        << listed().join(QLatin1Char(',')).toStdString();
    closeDialog();
    SettingFileManagerDisplayExtensions.clear();
}

TEST_F(SetupDialog, ToolPathButtonsTakeAnExistingFile)
{
    const QString tool = dir.path() + QStringLiteral("/pto_gen");
    QFile f(tool);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    TF_Setup* d = show(6);
    fake->answerFile(tool);
    d->B_PTOGen->click();
    EXPECT_EQ(d->E_PTOGen->text(), tool);
    ASSERT_FALSE(fake->shown().isEmpty());
    EXPECT_EQ(fake->shown().last().request.title, QStringLiteral("Select file"));
    EXPECT_EQ(fake->shown().last().request.filter, QStringLiteral("PTOGen Executable|pto_gen"));

    // The next dialog starts in the folder of the path shown.
    d->E_CPFind->setText(tool);
    fake->cancelFile();
    d->Button1->click();
    EXPECT_EQ(d->E_CPFind->text(), tool);
    EXPECT_EQ(fake->shown().last().request.initialDir, dir.path());
    closeDialog();
}

TEST_F(SetupDialog, HuginLabelOpensItsWebPage)
{
    QList<QUrl> opened;
    setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    TF_Setup* d = show(6);
    d->Label6Click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("https"));
    closeDialog();
}

TEST_F(SetupDialog, ColourButtonTakesTheChosenColourAndKeepsItOnCancel)
{
    TF_Setup* d = show(1);
    d->CPB_TColor->setColor(0x00000010);
    TColorPickerButton::chooser() = [](const QColor&, QWidget*) -> std::optional<QColor> { return QColor(1, 2, 3); };
    d->CPB_TColor->click();
    EXPECT_EQ(d->CPB_TColor->color(), 0x00030201);
    TColorPickerButton::chooser() = [](const QColor&, QWidget*) -> std::optional<QColor> { return std::nullopt; };
    d->CPB_TColor->click();
    EXPECT_EQ(d->CPB_TColor->color(), 0x00030201);
    closeDialog();
}

TEST(ShellOpen, OnlyWebAddressesReachTheDesktop)
{
    QList<QUrl> opened;
    setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    const struct {
        const char* url;
        bool opens;
    } rows[] = {{"http://example.org/info.html", true},
                {"HTTPS://example.org/", true},
                {"file:///usr/bin/xterm", false},
                {"/usr/bin/xterm", false},
                {"javascript:alert(1)", false},
                {"ftp://example.org/setup.exe", false},
                {"http://", false},
                {"", false}};
    for (const auto& r : rows)
        EXPECT_EQ(ShellOpenUrl(QUrl(QString::fromLatin1(r.url))), r.opens) << r.url;
    EXPECT_EQ(opened.size(), 2);
    setUrlOpener(nullptr);
}

} // namespace
