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
#include "project/TF_ErrorLog.h"
#include "samples/SampleCore.h"
#include "shell/TF_Progress.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
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

class MainRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(dir.isValid());
        TF_ErrorLog::ClearLog();
        InitSettingVariables();
        // The windows the program's entry makes, in its order, owned by the main window.
        main = std::make_unique<TF_Main>();
        F_Main = main.get();
        F_ErrorLog = new TF_ErrorLog(main.get());
        QCoreApplication::processEvents();
        F_Measurements = new TF_Measurements(main.get());
        QCoreApplication::processEvents();
        F_Progress = new TF_Progress(main.get());
        QCoreApplication::processEvents();
        fake->answerMessage(mrNo); // the file association question of the first showing
        main->resize(1200, 800);
        main->show();
        settle();
    }
    void TearDown() override
    {
        EXPECT_EQ(fake->errors(), QStringList());
        EXPECT_EQ(fake->unusedAnswers(), 0);
        main.reset();
        F_Main = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        InitSettingVariables();
    }

    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    static QStringList logTexts()
    {
        QStringList texts;
        for (const auto& e : TF_ErrorLog::Entries())
            texts << e->AMessage;
        return texts;
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

    FakeDialogs* fake = nullptr;
    QTemporaryDir dir;
    std::unique_ptr<TF_Main> main;
};

// ---- measuring a core, saving, closing and opening it again --------------------------------------

TEST_F(MainRoad, MeasuredCoreSurvivesSaveCloseAndLoad)
{
    // The synthetic core, smaller than the sample project's so the test stays quick.
    samples::CoreSpec spec;
    spec.width = 2000;
    spec.height = 300;
    const QString image = path(QStringLiteral("core.jpg"));
    QImageWriter writer(image, "jpeg");
    writer.setQuality(95);
    ASSERT_TRUE(writer.write(samples::makeCore(spec))) << writer.errorString().toStdString();
    const QVector<int> borders = samples::ringBorders(spec);
    ASSERT_GE(borders.size(), 8);
    const int row = spec.height / 2;

    TF_SMDI* w = newProject();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->PathList.size(), 1u);

    // Project > Add image.
    fake->answerFile(QStringList{image});
    main->A_AddImage->trigger();
    settle();
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList.front()->Width, spec.width);
    EXPECT_EQ(w->StitchList.front()->Height, spec.height);

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

} // namespace
