// The main road through the real program: a main window with its tool windows, driven only through
// its commands, buttons, scripted dialogs and mouse clicks on the image window. A core is measured,
// saved, closed and opened again; embedded pictures survive save and load unchanged; hostile project
// files end in a box, never in a crash or in a window that could overwrite them.
#include "shell/TF_Main.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "samples/SampleCore.h"
#include "shell/RecentFiles.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "support/MainWindowTest.h"
#include "support/ModalDialogs.h"
#include "workspace/TF_EditBrushName.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// One row of the measurement tree as the user reads it.
struct TreeRow {
    QString name;
    QString coordinates;
    QString distance;
    bool operator==(const TreeRow&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TreeRow& r)
{
    return os << '{' << r.name.toStdString() << ", " << r.coordinates.toStdString() << ", "
              << r.distance.toStdString() << '}';
}

QStringList logTexts()
{
    QStringList texts;
    for (const auto& e : TF_ErrorLog::Entries())
        texts << e->AMessage;
    return texts;
}

class MainRoad : public testhelpers::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        // The windows the program's entry makes, in its order, owned by the main window.
        createMain();
        F_ErrorLog = new TF_ErrorLog(main.get());
        QCoreApplication::processEvents();
        F_Measurements = new TF_Measurements(main.get());
        QCoreApplication::processEvents();
        F_Progress = new TF_Progress(main.get());
        QCoreApplication::processEvents();
        fake->answerMessage(mrNo); // the file association question of the first showing
        main->setCommandLineArguments(startArguments);
        main->resize(1200, 800);
        main->show();
        settle();
    }
    void TearDown() override
    {
        EXPECT_EQ(fake->errors(), QStringList());
        EXPECT_EQ(fake->unusedAnswers(), 0);
        MainWindowTest::TearDown(); // the main window clears F_Main as it goes
    }

    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    static QByteArray readAll(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void writeAll(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    TF_SMDI* newProject()
    {
        main->A_NewProject->trigger();
        settle();
        return main->ActiveMDIChild();
    }

    // The windows that would write to this file on a plain save.
    QList<TF_SMDI*> windowsBoundTo(const QString& file) const
    {
        QList<TF_SMDI*> bound;
        for (TF_SMDI* w : main->MDIChildren())
            if (QFileInfo(w->Project->Filename).absoluteFilePath() == QFileInfo(file).absoluteFilePath())
                bound << w;
        return bound;
    }

    // Scrolls like the user until the canvas point lies well inside the paint box, then clicks it.
    static void clickCanvasPoint(TF_SMDI* w, QPoint p, Qt::MouseButton button = Qt::LeftButton)
    {
        const QRect inner = w->PB->rect().adjusted(20, 20, -20, -20);
        if (!inner.contains(w->ToScreen(p))) {
            w->SB_H->setValue(p.x() - w->PB->width() / 2);
            w->SB_V->setValue(p.y() - w->PB->height() / 2);
            settle();
        }
        const QPoint screen = w->ToScreen(p);
        ASSERT_TRUE(inner.contains(screen)) << "canvas " << p.x() << "/" << p.y() << " not on screen";
        ASSERT_EQ(w->ToReal(screen.x(), screen.y()), p);
        QTest::mouseClick(w->PB, button, Qt::NoModifier, screen);
        settle();
    }

    // The points of the bound window as the measurement tree shows them, in tree order.
    static QList<TreeRow> treeRows()
    {
        QList<TreeRow> rows;
        MeasurementTreeModel* model = F_Measurements->measurementModel();
        for (TreeNode* node : model->allNodes()) {
            TJEXObject* o = model->GetNodeObject(node);
            if (!dynamic_cast<TIndex*>(o) && !dynamic_cast<TMeasurement*>(o))
                continue;
            auto cell = [&](int column) {
                return model->data(model->indexFromNode(node, column), Qt::DisplayRole).toString();
            };
            rows << TreeRow{cell(MeasurementTreeModel::ColName), cell(MeasurementTreeModel::ColCoordinates),
                            cell(MeasurementTreeModel::ColDistance)};
        }
        return rows;
    }

    QStringList startArguments; // the program's command line
};

// ---- measuring a core, saving, closing and opening it again --------------------------------------

TEST_F(MainRoad, MeasuredCoreSurvivesSaveCloseAndLoad)
{
    // The synthetic core, smaller than the sample project's so the test stays quick.
    samples::CoreRecipe recipe;
    recipe.width = 2000;
    recipe.height = 300;
    const QString image = path(QStringLiteral("core.jpg"));
    QImageWriter writer(image, "jpeg");
    writer.setQuality(95);
    ASSERT_TRUE(writer.write(samples::makeCore(recipe))) << writer.errorString().toStdString();
    const QVector<int> borders = samples::ringBorders(recipe);
    ASSERT_GE(borders.size(), 8);
    const int row = recipe.height / 2;

    TF_SMDI* w = newProject();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->PathList.size(), 1u);

    // Project > Add image.
    fake->answerFile(QStringList{image});
    main->A_AddImage->trigger();
    settle();
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList.front()->Width, recipe.width);
    EXPECT_EQ(w->StitchList.front()->Height, recipe.height);

    // A right click on the resolution button asks for the value directly.
    fake->answerInput(QStringLiteral("2400"));
    QTest::mouseClick(w->SB_DPI, Qt::RightButton);
    settle();
    EXPECT_EQ(w->DPI, 2400);
    EXPECT_EQ(w->SB_DPI->text(), QStringLiteral("2400"));
    EXPECT_EQ(fake->shownTexts().last(), QStringLiteral("The DPI resolution was changed to 2400 dpi."));

    // 1:1, then an index point on the first border and a measurement on every further one.
    QTest::mouseClick(w->SB_Size1, Qt::LeftButton);
    settle();
    ASSERT_EQ(w->zoom(), 10);
    w->A_NewIndex->trigger();
    ASSERT_EQ(w->ScreenMode(), mmNewIndex);
    clickCanvasPoint(w, QPoint(borders[0], row));
    ASSERT_EQ(w->ScreenMode(), mmNewMeasurement);
    for (int i = 1; i < borders.size(); ++i)
        clickCanvasPoint(w, QPoint(borders[i], row));

    TPath* measured = w->PathList.front().get();
    ASSERT_EQ(measured->ObjectList.size(), 1u);
    const TIndex* index = measured->ObjectList.front().get();
    EXPECT_EQ(index->Name, QStringLiteral("Index 1"));
    EXPECT_EQ(index->Pos, QPoint(borders[0], row));
    ASSERT_EQ(index->ObjectList.size(), size_t(borders.size() - 1));

    // Widths in the tree: the border distances in the chosen unit at 2400 dpi, to what the tree
    // shows (four significant digits, at most SettingDigits decimals).
    const QList<TreeRow> before = treeRows();
    ASSERT_EQ(before.size(), borders.size());
    for (int i = 1; i < borders.size(); ++i) {
        const TreeRow& r = before[i];
        EXPECT_EQ(r.name, QStringLiteral("M %1").arg(i));
        EXPECT_EQ(r.coordinates, QStringLiteral("%1/%2").arg(borders[i]).arg(row));
        const double expected = PixelsToUnit(borders[i] - borders[i - 1], SettingUnits, 2400);
        bool ok = false;
        const double shown = r.distance.toDouble(&ok);
        ASSERT_TRUE(ok) << r;
        const double step = std::max(std::pow(10.0, -SettingDigits), std::pow(10.0, std::floor(std::log10(expected)) - 3));
        EXPECT_NEAR(shown, expected, step / 2 + 1e-9) << r;
    }

    // File > Save Project, named in the save dialog.
    const QString project = path(QStringLiteral("core.jex4"));
    fake->answerFile(project);
    main->A_SaveProject->trigger();
    settle();
    ASSERT_TRUE(QFileInfo::exists(project));
    EXPECT_FALSE(w->Project->Changed);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Project ") + project + QStringLiteral(" saved successfully!")));

    // File > Close Project: a saved project closes without a question.
    const int shownBeforeClose = fake->callCount();
    main->CloseMDI->trigger();
    settle();
    EXPECT_TRUE(main->MDIChildren().isEmpty());
    EXPECT_EQ(fake->callCount(), shownBeforeClose);
    // A new window would start with the closed one's resolution: start from another, so the
    // resolution shown after loading can only come from the file.
    SettingStandardDPI = 1200;

    // File > Load Project.
    TF_ErrorLog::ClearLog();
    fake->answerFile(project, 1);
    main->A_LoadProject->trigger();
    settle();
    ASSERT_EQ(main->MDIChildren().size(), 1);
    TF_SMDI* loaded = main->ActiveMDIChild();
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("JEX4 project ") + project + QStringLiteral(" loaded successfully!")));
    EXPECT_EQ(loaded->Project->Filename, project);
    EXPECT_FALSE(loaded->Project->Changed);
    EXPECT_EQ(loaded->DPI, 2400);
    EXPECT_EQ(loaded->SB_DPI->text(), QStringLiteral("2400"));
    EXPECT_EQ(F_Measurements->MDIForm(), loaded);
    EXPECT_EQ(treeRows(), before);
    ASSERT_EQ(loaded->StitchList.size(), 1u);
    EXPECT_EQ(loaded->StitchList.front()->filename, image);

    // The window finds each point where it was clicked: a click there in selection mode selects it.
    QTest::mouseClick(loaded->SB_Size1, Qt::LeftButton);
    settle();
    loaded->A_SelectionMode->trigger();
    ASSERT_EQ(loaded->PathList.size(), 1u);
    const TIndex* loadedIndex = loaded->PathList.front()->ObjectList.front().get();
    for (int i : {0, 3, int(borders.size()) - 1}) {
        const TJEXObject* point = i == 0 ? static_cast<const TJEXObject*>(loadedIndex)
                                         : loadedIndex->ObjectList[size_t(i - 1)].get();
        clickCanvasPoint(loaded, QPoint(borders[i], row));
        EXPECT_TRUE(point->selected) << "point " << i;
        EXPECT_EQ(point->Pos, QPoint(borders[i], row));
        EXPECT_EQ(F_Measurements->FirstSelectedObject(), point) << "point " << i;
    }
}

// ---- what the windows do for each other on the way --------------------------------------------------

class Wiring : public MainRoad {
protected:
    // A new project with a small core, an index point and three measurements, shown 1:1.
    TF_SMDI* measuredProject(const QString& name)
    {
        samples::CoreRecipe recipe;
        recipe.width = 600;
        recipe.height = 120;
        const QString image = path(name);
        [&] { ASSERT_TRUE(samples::makeCore(recipe).save(image)); }();
        TF_SMDI* w = newProject();
        if (!w)
            return nullptr;
        fake->answerFile(QStringList{image});
        main->A_AddImage->trigger();
        settle();
        QTest::mouseClick(w->SB_Size1, Qt::LeftButton);
        settle();
        w->A_NewIndex->trigger();
        for (int x : {40, 160, 250, 400})
            clickCanvasPoint(w, QPoint(x, 60));
        return w;
    }
};

TEST_F(Wiring, UnitComboRepaintsTheLabelsOfEveryImageWindow)
{
    SettingLVisible = true;
    TF_SMDI* first = measuredProject(QStringLiteral("a.png"));
    TF_SMDI* second = measuredProject(QStringLiteral("b.png"));
    ASSERT_TRUE(first && second);
    for (TF_SMDI* w : {first, second})
        w->SmoothDraw(true);
    const QImage before[] = {first->B_Foreground.copy(), second->B_Foreground.copy()};
    F_Measurements->CB_Units->setCurrentIndex(7); // pixels
    settle();
    EXPECT_EQ(SettingUnits, 7);
    EXPECT_NE(first->B_Foreground, before[0]) << "the labels show the new unit";
    EXPECT_NE(second->B_Foreground, before[1]) << "in the window behind too";
}

TEST_F(Wiring, CopyTakesTheSelectedRegionOnceAndThenTheWholeCanvas)
{
    TF_SMDI* w = measuredProject(QStringLiteral("core.png"));
    ASSERT_NE(w, nullptr);
    w->CopyRect = true;
    w->ClipbrdPT1 = QPoint(10, 20);
    w->ClipbrdPT2 = QPoint(110, 70);
    main->AMUpdate(); // as the next idle moment would
    ASSERT_TRUE(main->A_CopyImage->isEnabled());
    main->A_CopyImage->trigger();
    settle();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(100, 50));
    EXPECT_FALSE(w->CopyRect) << "the region is used up";
    main->A_CopyImage->trigger();
    settle();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(600, 120));
}

// Save Project steps the progress box: one step per image, one for the measurements and one for
// the file, under "Saving project"; the box goes when the file is written.
TEST_F(Wiring, SavingShowsEachStepInTheProgressBoxAndHidesItAfter)
{
    TF_SMDI* w = measuredProject(QStringLiteral("a.png"));
    ASSERT_NE(w, nullptr);
    fake->answerFile(QStringList{path(QStringLiteral("b.png"))});
    ASSERT_TRUE(samples::makeCore(samples::CoreRecipe{}).scaled(300, 60).save(path(QStringLiteral("b.png"))));
    main->A_AddImage->trigger();
    settle();
    ASSERT_EQ(w->StitchList.size(), 2u);

    struct Step {
        QString line1, line2;
        int value, maximum;
        bool visible;
        bool operator==(const Step&) const = default;
    };
    QList<Step> steps;
    QObject::connect(F_Progress->PB, &QProgressBar::valueChanged, F_Progress, [&](int value) {
        if (value > 0)
            steps << Step{F_Progress->L_1->text(), F_Progress->L_2->text(), value, F_Progress->PB->maximum(),
                          F_Progress->isVisible()};
    });
    const QString project = path(QStringLiteral("two.jex4"));
    fake->answerFile(project);
    main->A_SaveProject->trigger();
    settle();
    ASSERT_TRUE(QFileInfo::exists(project));
    const QString saving = QStringLiteral("Saving project");
    const QList<Step> expected = {
        {saving, QStringLiteral("Encoding image 1/2"), 1, 4, true},
        {saving, QStringLiteral("Encoding image 2/2"), 2, 4, true},
        {saving, QStringLiteral("Formatting measurement data"), 3, 4, true},
        {saving, QStringLiteral("Saving project file"), 4, 4, true},
    };
    ASSERT_EQ(steps.size(), expected.size());
    for (qsizetype i = 0; i < steps.size(); ++i)
        EXPECT_TRUE(steps[i] == expected[i]) << i << ": " << steps[i].line1.toStdString() << " / "
                                             << steps[i].line2.toStdString() << " " << steps[i].value << "/"
                                             << steps[i].maximum << (steps[i].visible ? " shown" : " hidden");
    EXPECT_FALSE(F_Progress->isVisible());
    EXPECT_FALSE(w->Project->Changed);
}

TEST_F(Wiring, ImagesLoadedAsAListJoinTheRecentFiles)
{
    const QString image = path(QStringLiteral("listed.png"));
    ASSERT_TRUE(samples::makeCore(samples::CoreRecipe{}).scaled(200, 50).save(image));
    TF_SMDI* w = LoadImageFiles(nullptr, {image});
    settle();
    ASSERT_NE(w, nullptr);
    ASSERT_GE(main->HL->entryCount(), 1);
    EXPECT_EQ(main->HL->entryFile(0), image);
}

TEST_F(Wiring, NewPathLeavesMeasuringWithTheSelectionCursorAndHint)
{
    TF_SMDI* w = measuredProject(QStringLiteral("core.png"));
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->ScreenMode(), mmNewMeasurement);
    const QString measuringHint = w->SB_MDIPanels[4]->text();
    testhelpers::whenShown<TF_EditBrushName>([](TF_EditBrushName* d) { d->B_Ok->click(); });
    F_Measurements->A_NewPath->trigger();
    settle();
    ASSERT_EQ(w->ScreenMode(), mmSelect);
    const QString hint = w->SB_MDIPanels[4]->text();
    const Qt::CursorShape shape = w->cursor().shape();
    main->SetScreenCursor(); // what the selection mode shows
    EXPECT_EQ(w->SB_MDIPanels[4]->text(), hint);
    EXPECT_EQ(w->cursor().shape(), shape);
    EXPECT_NE(hint, measuringHint);

    // Already selecting, so the mode does not change: the cursor and hint are set all the same.
    w->setCursor(Qt::ForbiddenCursor);
    w->SB_MDIPanels[4]->setText(QStringLiteral("stale"));
    testhelpers::whenShown<TF_EditBrushName>([](TF_EditBrushName* d) { d->B_Ok->click(); });
    F_Measurements->A_NewPath->trigger();
    settle();
    EXPECT_EQ(w->PathList.size(), 3u);
    EXPECT_EQ(w->SB_MDIPanels[4]->text(), hint);
    EXPECT_EQ(w->cursor().shape(), shape);
}

// The wheel zooms the image window only while the mouse is over it: moving into the tree ends that.
TEST_F(Wiring, MouseInTheTreeGivesTheWheelBackToIt)
{
    main->MouseOverImage = true;
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(F_Measurements->VST->viewport(), &move);
    EXPECT_FALSE(main->MouseOverImage);
}

// ---- embedded pictures -------------------------------------------------------------------------

// The pixel bytes of an image, top row first, without the row padding.
QByteArray pixelBytes(const TStitchObject& so)
{
    const TFastDIB& dib = *so.FD;
    const int rowBytes = dib.Info.Header.Width * dib.Info.Header.BitCount / 8;
    QByteArray bytes;
    for (int y = dib.AbsHeight - 1; y >= 0; --y)
        bytes.append(static_cast<const char*>(dib.Scanlines[y]), rowBytes);
    return bytes;
}

// The picture sections of a project file, in order.
QList<QByteArray> pictureSections(const QByteArray& xml)
{
    QList<QByteArray> sections;
    for (qsizetype at = 0; (at = xml.indexOf("<![CDATA[", at)) >= 0;) {
        at += 9;
        const qsizetype end = xml.indexOf("]]>", at);
        if (end < 0)
            break;
        sections << xml.mid(at, end - at);
        at = end;
    }
    return sections;
}

struct EmbeddingCase {
    const char* name;
    bool pasted; // from the clipboard, no file; otherwise a file added with the embed setting on
};

void PrintTo(const EmbeddingCase& c, std::ostream* os)
{
    *os << c.name;
}

class EmbeddedPictures : public MainRoad, public ::testing::WithParamInterface<EmbeddingCase> {
protected:
    // File > Save Project under `file`; an image without a file makes the command ask first.
    void saveActive(const QString& file)
    {
        TF_SMDI* w = main->ActiveMDIChild();
        ASSERT_NE(w, nullptr);
        if (!w->ImagesAreSave())
            fake->answerMessage(mrNo); // "Save images and project into one folder?": the project only
        fake->answerFile(file);
        main->A_SaveProject->trigger();
        settle();
        ASSERT_TRUE(QFileInfo::exists(file));
        EXPECT_FALSE(w->Project->Changed);
    }

    void closeActive()
    {
        TF_SMDI* w = main->ActiveMDIChild();
        ASSERT_NE(w, nullptr);
        bool changed = w->Project->Changed;
        for (const auto& so : w->StitchList)
            changed = changed || so->ImageChanged;
        if (changed)
            fake->answerMessage(mrYes); // "is NOT saved! Close it anyway?"
        main->CloseMDI->trigger();
        settle();
        ASSERT_TRUE(main->MDIChildren().isEmpty());
    }

    TF_SMDI* load(const QString& file)
    {
        fake->answerFile(file, 1);
        main->A_LoadProject->trigger();
        settle();
        return main->ActiveMDIChild();
    }
};

TEST_P(EmbeddedPictures, SurviveSaveLoadSaveUnchanged)
{
    samples::CoreRecipe recipe;
    recipe.width = 420;
    recipe.height = 90;
    recipe.seed = 5;
    const QImage picture = samples::makeCore(recipe);

    TF_SMDI* w = nullptr;
    if (GetParam().pasted) {
        QApplication::clipboard()->setImage(picture);
        main->A_PasteImage->trigger();
        settle();
        w = main->ActiveMDIChild();
    } else {
        SettingEmbedImages = true;
        const QString image = path(QStringLiteral("core.png"));
        ASSERT_TRUE(picture.save(image, "PNG"));
        w = newProject();
        ASSERT_NE(w, nullptr);
        fake->answerFile(QStringList{image});
        main->A_AddImage->trigger();
        settle();
    }
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->StitchList.size(), 1u);
    ASSERT_EQ(w->StitchList.front()->FD->Info.Header.Width, recipe.width);

    const QString first = path(QStringLiteral("first.jex4"));
    const QString second = path(QStringLiteral("second.jex4"));
    saveActive(first);
    const QList<QByteArray> firstPictures = pictureSections(readAll(first));
    ASSERT_EQ(firstPictures.size(), 1);
    EXPECT_GT(firstPictures.front().size(), 1000);
    closeActive();

    TF_SMDI* loaded = load(first);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->StitchList.size(), 1u);
    const TStitchObject& image = *loaded->StitchList.front();
    ASSERT_EQ(image.FD->Info.Header.Width, recipe.width);
    ASSERT_EQ(image.FD->AbsHeight, recipe.height);
    EXPECT_TRUE(image.Embedded);
    const QByteArray pixels = pixelBytes(image);

    // Quality 100 is close to the picture, not equal to it.
    const QImage original = picture.convertToFormat(QImage::Format_RGB888);
    int worst = 0;
    for (int y = 0; y < recipe.height; ++y) {
        const auto* want = original.constScanLine(y);
        const auto* got = reinterpret_cast<const uchar*>(pixels.constData()) + qsizetype(y) * recipe.width * 3;
        for (int x = 0; x < recipe.width; ++x)
            for (int c = 0; c < 3; ++c) // RGB in the picture, BGR in the image
                worst = std::max(worst, std::abs(int(want[3 * x + c]) - int(got[3 * x + 2 - c])));
    }
    EXPECT_LE(worst, 6);

    // The loaded project saved again: the picture is written as it was read.
    saveActive(second);
    EXPECT_EQ(pictureSections(readAll(second)), firstPictures);
    closeActive();

    TF_SMDI* again = load(second);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->StitchList.size(), 1u);
    EXPECT_EQ(pixelBytes(*again->StitchList.front()), pixels);
}

INSTANTIATE_TEST_SUITE_P(MainRoad, EmbeddedPictures,
                         ::testing::Values(EmbeddingCase{"Pasted", true}, EmbeddingCase{"EmbedSetting", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- hostile project files ------------------------------------------------------------------------

enum class Outcome {
    Refused,   // an error box; no window bears the file's name
    Cancelled, // the user stopped at a question; no window bears the file's name
    Damaged,   // what is sound is loaded, and a box says the file is damaged
    Loaded,    // read without a box
};

// A small picture as JPEG bytes.
QByteArray smallJpeg()
{
    samples::CoreRecipe recipe;
    recipe.width = 64;
    recipe.height = 32;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    samples::makeCore(recipe).save(&buffer, "JPEG", 90);
    return bytes;
}

// The same JPEG claiming 60000 x 60000 pixels in its frame header.
QByteArray hugeJpeg()
{
    QByteArray bytes = smallJpeg();
    const qsizetype sof = bytes.indexOf("\xFF\xC0");
    if (sof >= 0) {
        for (int i : {5, 7}) { // height, then width, big-endian after length and precision
            bytes[sof + i] = char(0xEA);
            bytes[sof + i + 1] = char(0x60);
        }
    }
    return bytes;
}

// A sound project with one embedded picture and one measured path; `%1` is the picture's text,
// `%2` the project data's DPI and `%3` the image's attributes after "Embedded".
QByteArray projectText(const QByteArray& picture, const QByteArray& dpi = "2400",
                       const QByteArray& imageAttributes = "FileName=\"\" XPos=\"0\" YPos=\"0\" DropBorder=\"0\" Visible=\"true\"")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><JEX4><ProjectData Name=\"Hostile\" Notes=\"\" Paths=\"1\" DPI=\"" + dpi
        + "\" Zoom=\"10\" CurXPos=\"0\" CurYPos=\"0\" RALVisible=\"false\" ImageCount=\"1\"><Image Embedded=\"true\" "
        + imageAttributes + "><![CDATA[" + picture
        + "]]></Image><Path Name=\"Path 1\" Comment=\"\" Visible=\"true\" Expanded=\"true\" Pith=\"false\" "
          "GUID=\"{6F1C2B0E-55A4-4C57-9E0B-2D3A1F0C9B11}\"><Index Name=\"Index 1\" Comment=\"\" XPOS=\"10\" YPOS=\"16\" "
          "Distance=\"0\" SW=\"false\"><Measurement Name=\"M 1\" Comment=\"\" XPOS=\"40\" YPOS=\"16\" Distance=\"30\" "
          "SW=\"false\"/></Index></Path></ProjectData></JEX4>";
}

QByteArray soundProject()
{
    return projectText(smallJpeg().toBase64());
}

int pointCount(const TF_SMDI* w)
{
    int n = 0;
    for (const auto& path : w->PathList)
        for (const auto& index : path->ObjectList)
            n += 1 + int(index->ObjectList.size());
    return n;
}

struct HostileCase {
    const char* name;
    QByteArray (*content)();
    Outcome outcome;
    QList<int> answers;           // scripted answers to the reader's questions, in order
    void (*check)(TF_SMDI* loaded); // what a loaded window holds; none: nothing more to check
};

const HostileCase kHostileCases[] = {
    {"Truncated", [] { const QByteArray b = soundProject(); return b.left(b.size() * 6 / 10); }, Outcome::Refused, {}, nullptr},
    {"MalformedXml", [] { return QByteArray("<JEX4><ProjectData DPI=\"2400\"><Path Name=\"P\"></ProjectData></JEX4>"); },
     Outcome::Refused, {}, nullptr},
    {"NotAProject", [] { return QByteArray("<?xml version=\"1.0\"?><html><body/></html>"); }, Outcome::Refused, {}, nullptr},
    {"EmptyFile", [] { return QByteArray(); }, Outcome::Refused, {}, nullptr},
    {"BinaryGarbage",
     [] {
         QByteArray b;
         for (int i = 0; i < 4096; ++i)
             b.append(char(i * 37 % 256));
         return b;
     },
     Outcome::Refused, {}, nullptr},
    {"EntityExpansion",
     [] {
         return QByteArray("<?xml version=\"1.0\"?><!DOCTYPE JEX4 [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;"
                           "&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><JEX4><ProjectData Name=\"&c;\"/></JEX4>");
     },
     Outcome::Refused, {}, nullptr},
    {"MissingAttributes",
     [] {
         return "<JEX4><ProjectData><Image Embedded=\"true\"><![CDATA[" + smallJpeg().toBase64()
             + "]]></Image><Path><Index/><Measurement/></Path></ProjectData></JEX4>";
     },
     Outcome::Loaded, {},
     [](TF_SMDI* w) {
         EXPECT_EQ(w->DPI, 1200);
         ASSERT_EQ(w->StitchList.size(), 1u);
         EXPECT_EQ(w->StitchList.front()->Width, 64);
         ASSERT_EQ(w->PathList.size(), 1u);
         EXPECT_FALSE(w->PathList.front()->GUID.isEmpty());
         EXPECT_EQ(pointCount(w), 2);
     }},
    {"HugeNumbers",
     [] {
         QByteArray b = projectText(smallJpeg().toBase64(), "99999999999999999999",
                                    "FileName=\"\" XPos=\"2147483647\" YPos=\"2147483647\" DropBorder=\"2147483647\" Visible=\"true\"");
         b.replace("Zoom=\"10\"", "Zoom=\"2147483647\"");
         b.replace("CurXPos=\"0\"", "CurXPos=\"-2147483648\"");
         b.replace("ImageCount=\"1\"", "ImageCount=\"2147483647\"");
         b.replace("XPOS=\"40\"", "XPOS=\"99999999999\"");
         b.replace("YPOS=\"16\"", "YPOS=\"-2147483648\"");
         return b;
     },
     Outcome::Damaged, {},
     [](TF_SMDI* w) {
         EXPECT_EQ(w->DPI, 1200);
         ASSERT_EQ(w->StitchList.size(), 1u);
         EXPECT_EQ(w->StitchList.front()->Width, 64);
         EXPECT_EQ(pointCount(w), 2);
         // A canvas billions of pixels wide still gets a window, and paint buffers, no larger
         // than the free space.
         ASSERT_TRUE(F_Main && F_Main->mdiArea());
         const QSize free = F_Main->mdiArea()->viewport()->size();
         EXPECT_LE(w->PB->width(), free.width());
         EXPECT_LE(w->PB->height(), free.height());
         EXPECT_LE(w->B_Background.size().width(), free.width());
     }},
    {"BadBase64", [] { return projectText("!!!not base64@@@"); }, Outcome::Damaged, {},
     [](TF_SMDI* w) {
         ASSERT_EQ(w->StitchList.size(), 1u);
         EXPECT_EQ(w->StitchList.front()->Width, 0);
         EXPECT_EQ(pointCount(w), 2);
     }},
    {"BrokenJpeg", [] { const QByteArray j = smallJpeg(); return projectText(j.left(j.size() / 2).toBase64()); },
     Outcome::Damaged, {},
     [](TF_SMDI* w) {
         ASSERT_EQ(w->StitchList.size(), 1u);
         EXPECT_EQ(w->StitchList.front()->Width, 0);
         EXPECT_EQ(pointCount(w), 2);
     }},
    {"NoJpegAtAll", [] { return projectText(QByteArray("GIF89a not a jpeg at all").toBase64()); }, Outcome::Damaged, {}, nullptr},
    {"JpegClaimingHugeSize", [] { return projectText(hugeJpeg().toBase64()); }, Outcome::Damaged, {},
     [](TF_SMDI* w) {
         ASSERT_EQ(w->StitchList.size(), 1u);
         EXPECT_EQ(w->StitchList.front()->Width, 0);
     }},
    {"ZeroDpi", [] { return projectText(smallJpeg().toBase64(), "0"); }, Outcome::Loaded, {},
     [](TF_SMDI* w) {
         EXPECT_EQ(w->DPI, 1200);
         EXPECT_EQ(w->SB_DPI->text(), QStringLiteral("1200"));
         EXPECT_EQ(logTexts().filter(QStringLiteral("a resolution of 0 dpi was read as 1200 dpi")).size(), 1);
     }},
    {"NegativeDpi", [] { return projectText(smallJpeg().toBase64(), "-2400"); }, Outcome::Loaded, {},
     [](TF_SMDI* w) { EXPECT_EQ(w->DPI, 1200); }},
    {"MissingImageCancelled",
     [] {
         return QByteArray("<JEX4><ProjectData DPI=\"2400\"><Image Embedded=\"false\" FileName=\"/nonexistent/core.jpg\" "
                           "Visible=\"true\"/><Path Name=\"P\"><Index XPOS=\"1\" YPOS=\"1\"/></Path></ProjectData></JEX4>");
     },
     Outcome::Cancelled, {mrCancel}, nullptr},
    {"DeviceNamedAsImage",
     [] {
         return QByteArray("<JEX4><ProjectData DPI=\"2400\"><Image Embedded=\"false\" FileName=\"/dev/zero\" Visible=\"true\"/>"
                           "<Path Name=\"P\"><Index XPOS=\"1\" YPOS=\"1\"/></Path></ProjectData></JEX4>");
     },
     Outcome::Loaded, {mrNo},
     [](TF_SMDI* w) {
         EXPECT_TRUE(w->StitchList.empty());
         EXPECT_EQ(pointCount(w), 1);
     }},
    {"ElementsOutOfPlace",
     [] {
         return "<JEX4><![CDATA[" + smallJpeg().toBase64()
             + "]]><ProjectData DPI=\"2400\"><Measurement XPOS=\"5\" YPOS=\"5\"/><Index XPOS=\"6\" YPOS=\"6\"/>"
               "<Path Name=\"P\"><Measurement XPOS=\"7\" YPOS=\"7\"/><Index XPOS=\"8\" YPOS=\"8\"/></Path></ProjectData></JEX4>";
     },
     Outcome::Loaded, {},
     [](TF_SMDI* w) {
         EXPECT_TRUE(w->StitchList.empty());
         EXPECT_EQ(pointCount(w), 1);
     }},
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.name;
}

class HostileFiles : public MainRoad, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFiles, OpenThroughLoadCommandWithoutHarm)
{
    const HostileCase& c = GetParam();
    // The user has other work open: it must stay as it is.
    TF_SMDI* other = newProject();
    ASSERT_NE(other, nullptr);
    const QString otherName = other->Project->Filename;

    // Program-wide state a rejected file must not change: the resolution new windows start with
    // and the right-angle lines.
    SettingStandardDPI = 1200;
    SettingRALVisible = true;

    const QString file = path(QStringLiteral("hostile.jex4"));
    const QByteArray bytes = c.content();
    writeAll(file, bytes);
    TF_ErrorLog::ClearLog();
    const int callsBefore = fake->callCount();
    for (int answer : c.answers)
        fake->answerMessage(answer);
    fake->answerFile(file, 1);
    main->A_LoadProject->trigger();
    settle();

    QStringList boxes;
    QList<TMsgDlgType> types;
    for (qsizetype i = callsBefore; i < fake->shown().size(); ++i) {
        const FakeDialogs::Shown& shown = fake->shown()[i];
        if (shown.kind == FakeDialogs::Kind::MessageDlg && shown.type != mtConfirmation) {
            boxes << shown.text;
            types << shown.type;
        }
    }
    const QList<TF_SMDI*> bound = windowsBoundTo(file);
    const QString failed = QStringLiteral("Error loading JEX4 project ") + file;
    switch (c.outcome) {
    case Outcome::Refused:
        ASSERT_EQ(boxes.size(), 1) << boxes.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(types.front(), mtError);
        EXPECT_TRUE(boxes.front().contains(QStringLiteral("could not be read"))) << boxes.front().toStdString();
        EXPECT_TRUE(bound.isEmpty());
        EXPECT_TRUE(logTexts().contains(failed));
        break;
    case Outcome::Cancelled:
        EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(bound.isEmpty());
        EXPECT_TRUE(logTexts().contains(failed));
        break;
    case Outcome::Damaged:
        ASSERT_EQ(boxes.size(), 1) << boxes.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(types.front(), mtWarning);
        EXPECT_TRUE(boxes.front().contains(QStringLiteral("is damaged"))) << boxes.front().toStdString();
        ASSERT_EQ(bound.size(), 1);
        break;
    case Outcome::Loaded:
        EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('|')).toStdString();
        ASSERT_EQ(bound.size(), 1);
        break;
    }
    if (c.check && !bound.isEmpty())
        c.check(bound.front());
    if (!bound.isEmpty()) {
        EXPECT_FALSE(logTexts().contains(failed));
        EXPECT_EQ(main->ActiveMDIChild(), bound.front());
        bound.front()->SmoothDraw(true); // whatever was read also paints
    }

    if (c.outcome == Outcome::Damaged) {
        // Saved over itself, the damaged project keeps every picture text it came with, even one
        // that could not be decoded: what a repair tool might still recover is not thrown away.
        TF_SMDI* w = bound.front();
        if (!w->ImagesAreSave())
            fake->answerMessage(mrNo); // "Save images and project into one folder?": the project only
        fake->answerFile(file);
        main->A_SaveProject->trigger();
        settle();
        const QByteArray saved = readAll(file);
        EXPECT_NE(saved, bytes);
        EXPECT_EQ(pictureSections(saved), pictureSections(bytes));
        EXPECT_EQ(saved.count("<Index"), bytes.count("<Index"));
        EXPECT_EQ(saved.count("<Measurement"), bytes.count("<Measurement"));
        writeAll(file, bytes);
    }

    // The other project is untouched, and a Save now concerns it, not the hostile file.
    ASSERT_TRUE(main->MDIChildren().contains(other));
    EXPECT_EQ(other->Project->Filename, otherName);
    if (bound.isEmpty()) {
        EXPECT_EQ(main->ActiveMDIChild(), other);
        EXPECT_EQ(main->MDIChildren().size(), 1);
        EXPECT_EQ(SettingStandardDPI, 1200);
        if (c.outcome == Outcome::Refused) {
            EXPECT_TRUE(SettingRALVisible);
        }
    }
    EXPECT_EQ(readAll(file), bytes);
}

INSTANTIATE_TEST_SUITE_P(MainRoad, HostileFiles, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the command line ------------------------------------------------------------------------------

// As `make run` starts the program: a measured project named on the command line opens at the
// first showing, with its path in the tree and nothing logged as a failure about it.
class CommandLineStart : public MainRoad {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        recipe.width = 1500;
        recipe.height = 200;
        image = path(QStringLiteral("core.jpg"));
        ASSERT_TRUE(samples::makeCore(recipe).save(image, "JPEG", 95));
        borders = samples::ringBorders(recipe);
        QByteArray points;
        for (int i = 0; i < borders.size(); ++i)
            points += QStringLiteral("<%1 XPOS=\"%2\" YPOS=\"100\"%3>")
                          .arg(i == 0 ? QStringLiteral("Index") : QStringLiteral("Measurement"))
                          .arg(borders[i])
                          .arg(i == 0 ? QString() : QStringLiteral("/"))
                          .toUtf8();
        project = path(QStringLiteral("sample.jex4"));
        writeAll(project, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><JEX4><ProjectData Name=\"Sample core\" DPI=\"2400\" "
                          "ImageCount=\"1\"><Image Embedded=\"false\" FileName=\"" + image.toUtf8()
                          + "\" DropBorder=\"0\" Visible=\"true\"/><Path Name=\"Path 1\" Visible=\"true\">" + points
                          + "</Index></Path></ProjectData></JEX4>");
        startArguments = {project};
        MainRoad::SetUp();
    }

    samples::CoreRecipe recipe;
    QString image, project;
    QVector<int> borders;
};

TEST_F(CommandLineStart, OpensTheNamedProjectWithItsMeasuredPath)
{
    ASSERT_EQ(main->MDIChildren().size(), 1);
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Project->Filename, project);
    EXPECT_EQ(w->DPI, 2400);
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList.front()->Width, recipe.width);
    EXPECT_EQ(F_Measurements->MDIForm(), w);
    const QList<TreeRow> rows = treeRows();
    ASSERT_EQ(rows.size(), borders.size());
    EXPECT_EQ(rows.front().name, QStringLiteral("Index 1"));
    EXPECT_EQ(rows.back().name, QStringLiteral("M %1").arg(borders.size() - 1));
    EXPECT_FALSE(rows.back().distance.isEmpty());
    // The whole canvas is in view after the fit.
    const QPoint lastBorder = w->ToScreen(QPoint(borders.back(), 100));
    EXPECT_TRUE(w->PB->rect().contains(lastBorder)) << lastBorder.x() << "/" << lastBorder.y();
    // The window fits the free area left beside the docked project window.
    ASSERT_GT(main->P_Dock->width(), 0);
    const QRect frame = w->mdiFrame()->geometry();
    const QRect area = main->mdiArea()->viewport()->rect();
    EXPECT_TRUE(area.contains(frame)) << "window " << frame.width() << "x" << frame.height() << " in "
                                      << area.width() << "x" << area.height();
    EXPECT_EQ(w->CB_Zoom->currentIndex(), w->zoom() - 1);

    EXPECT_TRUE(logTexts().contains(QStringLiteral("JEX4 project ") + project + QStringLiteral(" loaded successfully!")));
    for (const auto& e : TF_ErrorLog::Entries())
        EXPECT_FALSE(e->AType == 0 && (e->AMessage.contains(project) || e->AMessage.contains(image)))
            << e->AMessage.toStdString();
}

} // namespace
