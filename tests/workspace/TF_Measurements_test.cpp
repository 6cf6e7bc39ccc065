// Project tool window: tree contents after each operation, numbering, units, nearest point,
// selection both ways, check boxes and editing, the commands with their confirmations, keys and
// the dialogs, and the image window's state after deletions while measuring.
#include "workspace/TF_Measurements.h"

#include "platform/Delphi.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "image/TFastDIB.h"
#include "project/Settings.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_EditBrushName.h"
#include "workspace/TF_EditPathProps.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_SMDI.h"

#include "support/ModalDialogs.h"
#include "support/ProjectObjects.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QStandardItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <functional>
#include <memory>

// Readable failure output for texts and lists of texts.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testhelpers::addIndex;
using testhelpers::addMeasurement;
using testhelpers::whenShown;

TPath* addPath(TF_SMDI& w, const QString& name)
{
    auto p = std::make_unique<TPath>();
    p->Name = name;
    w.PathList.push_back(std::move(p));
    return w.PathList.back().get();
}

class Measurements : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedUnits = SettingUnits;
        savedDigits = SettingDigits;
        SettingUnits = 3;
        SettingDigits = 2;
        auto fake = std::make_unique<FakeDialogs>();
        dialogs = fake.get();
        setDialogs(std::move(fake));
        tool = std::make_unique<TF_Measurements>();
        F_Measurements = tool.get();
        tester = std::make_unique<QAbstractItemModelTester>(tool->measurementModel(),
                                                             QAbstractItemModelTester::FailureReportingMode::Fatal);
        soTester = std::make_unique<QAbstractItemModelTester>(tool->imageModel(),
                                                               QAbstractItemModelTester::FailureReportingMode::Fatal);
        w = new TF_SMDI;
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->PathList.clear(); // each test lays out its own paths
        w->DPI = 1200;
    }
    void TearDown() override
    {
        delete w.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        tester.reset();
        soTester.reset();
        tool.reset();
        F_Measurements = nullptr;
        setDialogs(nullptr);
        SettingUnits = savedUnits;
        SettingDigits = savedDigits;
    }

    MeasurementTreeModel* model() const { return tool->measurementModel(); }

    // The tree as text: one line per row, two blanks per level, column 0 and, when present, the
    // distance.
    QStringList dump() const
    {
        QStringList lines;
        std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
            for (int r = 0; r < model()->rowCount(parent); ++r) {
                const QModelIndex idx = model()->index(r, 0, parent);
                QString line = QString(depth * 2, QLatin1Char(' ')) + idx.data().toString();
                const QString d = model()->index(r, MeasurementTreeModel::ColDistance, parent).data().toString();
                if (!d.isEmpty())
                    line += QStringLiteral(" | ") + d;
                lines << line;
                walk(idx, depth + 1);
            }
        };
        walk({}, 0);
        return lines;
    }

    QModelIndex indexOf(const TJEXObject* o) const { return model()->indexFromNode(tool->GetNodeByObject(o)); }

    void selectOnly(const TJEXObject* o)
    {
        const QModelIndex idx = indexOf(o);
        ASSERT_TRUE(idx.isValid());
        tool->VST->selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // Path A: Index 1 with three measurements, Index 2 with two. Path B: one index, one measurement.
    void layOutTwoPaths()
    {
        a = addPath(*w, QStringLiteral("A"));
        i1 = addIndex(*a, {100, 100});
        for (int k = 1; k <= 3; ++k)
            m[k - 1] = addMeasurement(*i1, {100 + 10 * k, 100});
        i2 = addIndex(*a, {200, 100});
        for (int k = 1; k <= 2; ++k)
            m[2 + k] = addMeasurement(*i2, {200 + 10 * k, 100});
        b = addPath(*w, QStringLiteral("B"));
        addMeasurement(*addIndex(*b, {0, 500}), {0, 520});
        RecomputeDistances(a);
        RecomputeDistances(b);
        w->CurrentPath = a;
        w->CurrentIndex = i2;
    }

    int savedUnits = 0, savedDigits = 0;
    FakeDialogs* dialogs = nullptr;
    std::unique_ptr<TF_Measurements> tool;
    std::unique_ptr<QAbstractItemModelTester> tester, soTester;
    QPointer<TF_SMDI> w;
    TPath* a = nullptr;
    TPath* b = nullptr;
    TIndex* i1 = nullptr;
    TIndex* i2 = nullptr;
    TMeasurement* m[5] = {};
};

// ---- building the tree -------------------------------------------------------------------------

TEST_F(Measurements, TreeNumbersPointsThroughEachPathAndShowsDrawObjectsFirst)
{
    layOutTwoPaths();
    auto arrow = std::make_unique<TArrow>();
    arrow->Name = QStringLiteral("Arrow");
    arrow->Path = a;
    w->DrawList.push_back(std::move(arrow));
    tool->NewAnchorPoint(w, 5, 5);
    tool->NewAnchorPoint(w, 50, 5);

    tool->FillMeasurements(w, true);

    // 10 px at 1200 dpi in 1/100 mm: 21.17 (4 significant digits, 2 decimals).
    const QStringList expected = {
        "Anchor points [2]", "  Point 1", "  Point 2",
        "A", "  Arrow",
        "  Index 1", "    M 1 | 21.17", "    M 2 | 21.17", "    M 3 | 21.17",
        "  Index 2", "    M 4 | 21.17", "    M 5 | 21.17",
        "B", "  Index 1", "    M 1 | 42.33",
    };
    EXPECT_EQ(dump(), expected);
    EXPECT_EQ(tool->MDIForm(), w.data());
    EXPECT_EQ(model()->GetNodeObject(a->Node), a);
    EXPECT_EQ(model()->GetNodeObject(m[4]->Node), m[4]);
    EXPECT_EQ(model()->index(0, MeasurementTreeModel::ColCoordinates, indexOf(w->AnchorLine.get())).data().toString(),
              QStringLiteral("5/5"));
    EXPECT_EQ(indexOf(m[3]).siblingAtColumn(MeasurementTreeModel::ColCoordinates).data().toString(),
              QStringLiteral("210/100"));
    // Icons: current path, other path, index, measurement, arrow, anchor line and point.
    EXPECT_EQ(model()->IconSlot(a->Node), 3);
    EXPECT_EQ(model()->IconSlot(b->Node), 0);
    EXPECT_EQ(model()->IconSlot(i1->Node), 1);
    EXPECT_EQ(model()->IconSlot(m[0]->Node), 2);
    EXPECT_EQ(model()->IconSlot(tool->GetNodeByObject(w->DrawList[0].get())), 8);
    EXPECT_EQ(model()->IconSlot(w->AnchorLine->Node), 11);
    EXPECT_EQ(model()->IconSlot(tool->GetNodeByObject(w->AnchorLine->AnchorPoints[0].get())), 12);
}

TEST_F(Measurements, ZeroDistanceAndIndexPointsShowNoWidth)
{
    TPath* p = addPath(*w, QStringLiteral("P"));
    TIndex* i = addIndex(*p, {0, 0});
    addMeasurement(*i, {0, 0});
    tool->FillMeasurements(w, false);
    EXPECT_EQ(dump(), (QStringList{"Anchor points [0]", "P", "  Index 1", "    M 1"}));
}

TEST_F(Measurements, ImageTreeShowsTheWindowAndItsImages)
{
    auto so = std::make_unique<TStitchObject>();
    so->filename = QStringLiteral("/nowhere/core.jpg");
    so->Width = 300;
    so->Height = 200;
    so->Selected = true;
    so->Loaded = true;
    w->StitchList.push_back(std::move(so));
    tool->FillMeasurements(w, true);

    ImageTreeModel* images = tool->imageModel();
    ASSERT_EQ(images->rowCount(), 1);
    const QModelIndex root = images->index(0, 0);
    ASSERT_EQ(images->rowCount(root), 1);
    const QModelIndex row = images->index(0, ImageTreeModel::ColName, root);
    EXPECT_EQ(row.data().toString(), QStringLiteral("core.jpg"));
    EXPECT_EQ(row.siblingAtColumn(ImageTreeModel::ColSize).data().toString(), QStringLiteral("300x200"));
    EXPECT_EQ(images->IconSlot(images->nodeFromIndex(row)), 1); // file missing
    EXPECT_EQ(images->StateIconSlot(images->nodeFromIndex(row)), 4);
    EXPECT_TRUE(tool->IsSOSelected(w->StitchList[0].get()));
    EXPECT_EQ(tool->VST_SOGetPopupMenu(images->nodeFromIndex(root)), tool->PAB_Project);
    EXPECT_EQ(tool->VST_SOGetPopupMenu(images->nodeFromIndex(row)), tool->PAB_SO);
    EXPECT_EQ(tool->VST_SOGetPopupMenu(nullptr), nullptr);

    // Hint: file, full size with depth, memory in MB with at most 4 significant digits.
    w->StitchList[0]->FD->SetSize(1000, 700, 24);
    EXPECT_EQ(row.data(Qt::ToolTipRole).toString(), QStringLiteral("/nowhere/core.jpg\n1000 x 700 x 24\n2.003 MB"));

    // Files are taken only from a view over the file system.
    QTreeView fileTree, otherTree;
    QFileSystemModel files;
    QStandardItemModel items;
    fileTree.setModel(&files);
    otherTree.setModel(&items);
    EXPECT_TRUE(tool->VST_SODragOver(&fileTree));
    EXPECT_FALSE(tool->VST_SODragOver(&otherTree));
    EXPECT_FALSE(tool->VST_SODragOver(nullptr));

    // Unselecting the row in the tree reaches the image.
    tool->VST_SO->selectionModel()->clearSelection();
    EXPECT_FALSE(w->StitchList[0]->Selected);
}

TEST_F(Measurements, ClearAllAndAClosedWindowLeaveBothTreesEmpty)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    QSignalSpy bound(tool.get(), &TF_Measurements::boundWindowChanged);
    tool->ClearAll();
    EXPECT_EQ(tool->MDIForm(), nullptr);
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(tool->imageModel()->rowCount(), 0);
    EXPECT_EQ(a->Node, nullptr); // no object keeps a node that is gone
    ASSERT_EQ(bound.count(), 1);

    tool->FillMeasurements(w, true);
    ASSERT_GT(model()->rowCount(), 0);
    delete w.data();
    EXPECT_EQ(tool->MDIForm(), nullptr);
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(tool->imageModel()->rowCount(), 0);
}

TEST_F(Measurements, CollapsedPathStaysCollapsedAcrossARebindAndSelectionIsKept)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    ASSERT_TRUE(tool->VST->isExpanded(indexOf(a)));
    tool->VST->collapse(indexOf(a));
    selectOnly(b);
    tool->SaveVSTState(w);
    tool->ClearAll();
    tool->FillMeasurements(w, true);
    EXPECT_FALSE(tool->VST->isExpanded(indexOf(a)));
    EXPECT_TRUE(tool->VST->isExpanded(indexOf(b)));
    EXPECT_TRUE(tool->VST->selectionModel()->isSelected(indexOf(b)));
    EXPECT_FALSE(tool->VST->selectionModel()->isSelected(indexOf(a)));
}

// ---- numbering and names -----------------------------------------------------------------------

TEST_F(Measurements, UniquePathNamesCountLetterCaseButNewPathRefusesAnyCase)
{
    addPath(*w, QStringLiteral("Path 1"));
    addPath(*w, QStringLiteral("Path 3"));
    EXPECT_EQ(TF_Measurements::GetUniquePathName(w, QStringLiteral("Path")), QStringLiteral("Path 2"));
    w->PathList.clear();
    addPath(*w, QStringLiteral("path 1"));
    EXPECT_EQ(TF_Measurements::GetUniquePathName(w, QStringLiteral("Path")), QStringLiteral("Path 1"));

    tool->FillMeasurements(w, true);
    whenShown<TF_EditBrushName>([](TF_EditBrushName* d) {
        EXPECT_EQ(d->Label1->text(), QStringLiteral("Enter new path name:"));
        EXPECT_EQ(d->E_BrushName->text(), QStringLiteral("Path 1"));
        d->E_BrushName->setText(QStringLiteral("PATH 1"));
        d->B_Ok->click();
    });
    tool->A_NewPath->trigger();
    EXPECT_EQ(w->PathList.size(), 1u);
    EXPECT_EQ(dialogs->shownTexts(),
              QStringList{QStringLiteral("A path with this name already exists!\r\nPlease choose another name!")});
}

TEST_F(Measurements, NewPathDialogMakesTheNewPathCurrentAndLeavesMeasuring)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    w->ApplyScreenMode(mmNewMeasurement);
    whenShown<TF_EditBrushName>([](TF_EditBrushName* d) {
        d->E_BrushName->setText(QStringLiteral("Core north"));
        d->B_Ok->click();
    });
    tool->A_NewPath->trigger();
    ASSERT_EQ(w->PathList.size(), 3u);
    TPath* p = w->PathList.back().get();
    EXPECT_EQ(p->Name, QStringLiteral("Core north"));
    EXPECT_EQ(w->CurrentPath.get(), p);
    EXPECT_EQ(w->CurrentIndex.get(), nullptr);
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_TRUE(p->visible && p->expanded && !p->Pith);
    EXPECT_EQ(p->GUID.size(), 38);
    EXPECT_EQ(dump().last(), QStringLiteral("Core north"));

    // Cancel creates nothing.
    whenShown<TF_EditBrushName>([](TF_EditBrushName* d) { d->B_Cancel->click(); });
    tool->A_NewPath->trigger();
    EXPECT_EQ(w->PathList.size(), 3u);
}

TEST_F(Measurements, NameDialogCannotBeConfirmedEmpty)
{
    TF_EditBrushName d;
    d.E_BrushName->setText(QStringLiteral("x"));
    EXPECT_TRUE(d.B_Ok->isEnabled());
    d.E_BrushName->clear();
    EXPECT_FALSE(d.B_Ok->isEnabled());
}

TEST_F(Measurements, NewMeasurementRenumbersThePathAndComputesItsWidth)
{
    TPath* p = tool->NewPath(w, QString());
    EXPECT_EQ(p->Name, QStringLiteral("Path 1"));
    TIndex* i = tool->NewIndex(w, p, 0, 0);
    TMeasurement* first = tool->NewMeasurement(w, p, i, 0, 30);
    TIndex* j = tool->NewIndex(w, p, 0, 70);
    TMeasurement* second = tool->NewMeasurement(w, p, j, 0, 75);
    EXPECT_EQ(i->Name, QStringLiteral("Index 1"));
    EXPECT_EQ(j->Name, QStringLiteral("Index 2"));
    EXPECT_EQ(first->Name, QStringLiteral("M 1"));
    EXPECT_EQ(second->Name, QStringLiteral("M 2"));
    EXPECT_DOUBLE_EQ(first->distance, 30);
    EXPECT_DOUBLE_EQ(j->distance, 40);
    EXPECT_DOUBLE_EQ(second->distance, 5);
    EXPECT_EQ(tool->NewMeasurement(w, p, nullptr, 1, 1), nullptr);
    EXPECT_EQ(TF_Measurements::CountMeasurements(w, p), 2);
}

// ---- units -------------------------------------------------------------------------------------

TEST_F(Measurements, OnePixelInEveryUnitAsTheTreeShowsIt)
{
    TPath* p = addPath(*w, QStringLiteral("P"));
    TMeasurement* one = addMeasurement(*addIndex(*p, {0, 0}), {1, 0});
    RecomputeDistances(p);
    tool->FillMeasurements(w, true);
    struct Row {
        int units;
        double value;
        const char* text;
    };
    const Row rows[] = {
        {0, 2.54 / 1200, "0.00"}, {1, 25.4 / 1200, "0.02"}, {2, 254.0 / 1200, "0.21"},
        {3, 2540.0 / 1200, "2.12"}, {4, 1.0 / 1200, "0.00"}, {5, 10.0 / 1200, "0.01"},
        {6, 100.0 / 1200, "0.08"}, {7, 1.0, "1.00"},
    };
    for (const Row& r : rows) {
        tool->CB_Units->setCurrentIndex(r.units); // the combo sets the unit
        EXPECT_EQ(SettingUnits, r.units);
        EXPECT_DOUBLE_EQ(tool->GetDistance(1.0), r.value) << "units " << r.units;
        EXPECT_EQ(indexOf(one).siblingAtColumn(MeasurementTreeModel::ColDistance).data().toString(),
                  QString::fromLatin1(r.text))
            << "units " << r.units;
    }
    SettingUnits = 3;
    EXPECT_DOUBLE_EQ(tool->GetDistance(12), 25.4);
    SettingUnits = 7;
    EXPECT_DOUBLE_EQ(tool->GetDistance(12), 12);
}

TEST_F(Measurements, NoResolutionNeverDivides)
{
    TPath* p = addPath(*w, QStringLiteral("P"));
    TMeasurement* ring = addMeasurement(*addIndex(*p, {0, 0}), {12, 0});
    RecomputeDistances(p);
    tool->FillMeasurements(w, true);
    for (int dpi : {0, -300}) {
        w->DPI = dpi;
        const double v = tool->GetDistance(12);
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_EQ(v, 0.0);
        EXPECT_EQ(indexOf(ring).siblingAtColumn(MeasurementTreeModel::ColDistance).data().toString(), QString());
    }
    EXPECT_EQ(TF_Measurements::GetDistance(12, nullptr), 0.0); // no window bound
    SettingUnits = 7;
    EXPECT_EQ(tool->GetDistance(12), 12.0);
}

// ---- nearest point -----------------------------------------------------------------------------

TEST_F(Measurements, FindNearestWithinThirtyPixelsEarliestWinsTies)
{
    TPath* p = addPath(*w, QStringLiteral("P"));
    TIndex* i = addIndex(*p, {100, 100});
    TMeasurement* right = addMeasurement(*i, {160, 100});
    TMeasurement* twin = addMeasurement(*i, {160, 100}); // same place, later in the path
    struct Row {
        QPoint click;
        TJEXObject* expected;
    };
    const Row rows[] = {
        {{130, 100}, i},       // 30 from both: the index point comes first
        {{100, 130}, i},       // exactly 30
        {{100, 131}, nullptr}, // 31
        {{160, 125}, right},   // the twin is never reached
        {{175, 100}, right},
        {{191, 100}, nullptr},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TF_Measurements::FindNearest(nullptr, p, r.click.x(), r.click.y()), r.expected)
            << r.click.x() << "/" << r.click.y();
    EXPECT_NE(twin, nullptr);
    EXPECT_EQ(TF_Measurements::FindNearest(nullptr, nullptr, 100, 100), nullptr);
}

// ---- inserting ---------------------------------------------------------------------------------

TEST_F(Measurements, InsertIndexOnTheThirdOfFiveMeasurementsMovesTheLastTwo)
{
    TPath* p = addPath(*w, QStringLiteral("P"));
    TIndex* i = addIndex(*p, {0, 0});
    TMeasurement* five[5];
    for (int k = 0; k < 5; ++k)
        five[k] = addMeasurement(*i, {10 * (k + 1), 0});
    TIndex* last = addIndex(*p, {100, 0});
    addMeasurement(*last, {110, 0});
    w->CurrentPath = p;
    w->CurrentIndex = i;
    w->ApplyScreenMode(mmNewMeasurement);
    tool->FillMeasurements(w, true);
    tool->ShowImagesPage();
    selectOnly(five[2]);

    tool->A_InsertIndex->trigger();

    ASSERT_EQ(p->ObjectList.size(), 3u);
    TIndex* n = p->ObjectList[1].get();
    EXPECT_EQ(n->Pos, QPoint(50, 20));
    ASSERT_EQ(i->ObjectList.size(), 3u);
    ASSERT_EQ(n->ObjectList.size(), 2u);
    EXPECT_EQ(n->ObjectList[0].get(), five[3]);
    EXPECT_EQ(five[3]->Index.get(), n);
    EXPECT_EQ(five[4]->Index.get(), n);
    EXPECT_EQ(w->CurrentIndex.get(), n); // the current index point was split: measuring goes on after it
    EXPECT_TRUE(n->selected);
    EXPECT_FALSE(five[2]->selected);
    EXPECT_EQ(tool->PCE->currentWidget(), tool->TS_Measurements);
    const QStringList expected = {
        "Anchor points [0]", "P",
        "  Index 1", "    M 1 | 21.17", "    M 2 | 21.17", "    M 3 | 21.17",
        "  Index 2", "    M 4 | 47.33", "    M 5 | 21.17",
        "  Index 3", "    M 6 | 21.17",
    };
    EXPECT_EQ(dump(), expected);
    // Widths follow the new layout: the new index point measures from M 3, M 4 from it.
    EXPECT_DOUBLE_EQ(n->distance, std::hypot(50 - 30, 20 - 0));
    EXPECT_DOUBLE_EQ(five[3]->distance, std::hypot(40 - 50, 0 - 20));
    EXPECT_DOUBLE_EQ(last->distance, std::hypot(100 - 50, 0));
}

TEST_F(Measurements, InsertIndexOnAnIndexPointOrAPath)
{
    layOutTwoPaths(); // A is current, Index 2 the current index point
    tool->FillMeasurements(w, true);

    selectOnly(i2);
    tool->InsertIndex();
    ASSERT_EQ(a->ObjectList.size(), 3u);
    TIndex* afterI2 = a->ObjectList[2].get();
    EXPECT_EQ(afterI2->Pos, QPoint(220, 120));
    EXPECT_TRUE(i2->ObjectList.empty());
    EXPECT_EQ(afterI2->ObjectList.size(), 2u);
    EXPECT_EQ(w->CurrentIndex.get(), afterI2);

    // At the front of the current path, 10 up and left of its first point, and current.
    selectOnly(a);
    tool->InsertIndex();
    TIndex* front = a->ObjectList.front().get();
    EXPECT_EQ(front->Pos, QPoint(90, 90));
    EXPECT_EQ(w->CurrentIndex.get(), front);
    EXPECT_EQ(front->Name, QStringLiteral("Index 1"));
    EXPECT_EQ(i1->Name, QStringLiteral("Index 2"));

    // Another path gets its index point, clamped at 0, but the current index stays in the
    // current path.
    b->ObjectList.front()->Pos = QPoint(4, 500);
    selectOnly(b);
    tool->InsertIndex();
    EXPECT_EQ(b->ObjectList.front()->Pos, QPoint(0, 490));
    EXPECT_EQ(w->CurrentIndex.get(), front);

    // Nothing for an anchor point or with nothing selected.
    tool->NewAnchorPoint(w, 1, 1);
    tool->FillMeasurements(w, true);
    const QStringList before = dump();
    selectOnly(w->AnchorLine->AnchorPoints[0].get());
    tool->InsertIndex();
    tool->VST->selectionModel()->clearSelection();
    tool->InsertIndex();
    EXPECT_EQ(dump(), before);
}

TEST_F(Measurements, InsertMeasurementAfterAPointOrFirstOnAnIndexPoint)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    selectOnly(m[0]);
    tool->PM_InsertMeasurement->trigger();
    ASSERT_EQ(i1->ObjectList.size(), 4u);
    TMeasurement* n = i1->ObjectList[1].get();
    EXPECT_EQ(n->Pos, QPoint(130, 120));
    EXPECT_EQ(n->Path.get(), a);
    EXPECT_EQ(n->Index.get(), i1);
    EXPECT_EQ(n->Name, QStringLiteral("M 2"));
    EXPECT_EQ(m[4]->Name, QStringLiteral("M 6"));
    EXPECT_DOUBLE_EQ(m[1]->distance, std::hypot(120 - 130, 100 - 120));

    selectOnly(i2);
    tool->InsertMeasurement();
    EXPECT_EQ(i2->ObjectList.front()->Pos, QPoint(220, 120));
    EXPECT_TRUE(i2->ObjectList.front()->selected);
    EXPECT_FALSE(n->selected);

    // A path is not a place for a measurement point.
    selectOnly(a);
    tool->InsertMeasurement();
    EXPECT_EQ(i1->ObjectList.size() + i2->ObjectList.size(), 7u);
}

// ---- deleting ----------------------------------------------------------------------------------

TEST_F(Measurements, DeletingTheCurrentIndexWhileMeasuringMovesOrClearsIt)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    w->ApplyScreenMode(mmNewMeasurement);

    selectOnly(i2);
    dialogs->answerMessage(mrYes);
    tool->PM_DeleteIndex->trigger();
    EXPECT_EQ(dialogs->shownTexts().last(), QStringLiteral("Delete Index 2 and all contained measurements?"));
    EXPECT_EQ(w->CurrentIndex.get(), i1);
    EXPECT_EQ(w->ScreenMode(), mmNewMeasurement);
    EXPECT_EQ(dump().mid(1, 5),
              (QStringList{"A", "  Index 1", "    M 1 | 21.17", "    M 2 | 21.17", "    M 3 | 21.17"}));

    // The last index point goes: nothing to measure after, so the window asks for a new one.
    selectOnly(i1);
    dialogs->answerMessage(mrYes);
    int key = Qt::Key_Delete;
    tool->FormKeyDown(key, Qt::NoModifier);
    EXPECT_TRUE(a->ObjectList.empty());
    EXPECT_EQ(w->CurrentIndex.get(), nullptr);
    EXPECT_EQ(w->ScreenMode(), mmNewIndex);
}

TEST_F(Measurements, DeleteIndexAnsweredNoOrCancelKeepsEverything)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    for (int answer : {mrNo, mrCancel}) {
        selectOnly(i1);
        dialogs->answerMessage(answer);
        tool->PM_DeleteIndexClick();
        EXPECT_EQ(a->ObjectList.size(), 2u);
        EXPECT_EQ(w->CurrentIndex.get(), i2);
    }
    EXPECT_EQ(dialogs->shown().last().buttons, mbYesNoCancel);
}

TEST_F(Measurements, DeleteSelectedMeasurementsAfterConfirmation)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    selectOnly(m[1]);
    tool->VST->selectionModel()->select(indexOf(m[3]), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    dialogs->answerMessage(mrNo);
    tool->PM_DeleteMeasurements->trigger();
    EXPECT_EQ(dialogs->shownTexts().last(), QStringLiteral("Delete 2 measurements?"));
    EXPECT_EQ(i1->ObjectList.size() + i2->ObjectList.size(), 5u);

    dialogs->answerMessage(mrYes);
    tool->PM_DeleteMeasurements->trigger();
    EXPECT_EQ(i1->ObjectList.size(), 2u);
    EXPECT_EQ(i2->ObjectList.size(), 1u);
    const QStringList expected = {"A", "  Index 1", "    M 1 | 21.17", "    M 2 | 42.33", "  Index 2",
                                  "    M 3 | 42.33"};
    EXPECT_EQ(dump().mid(1, 6), expected);
}

TEST_F(Measurements, DeletingTheOnlyPathLeavesAFreshCurrentPath)
{
    TPath* only = addPath(*w, QStringLiteral("Path 2"));
    addPath(*w, QStringLiteral("Path 1"))->Name = QStringLiteral("Path 1");
    w->PathList.pop_back(); // a single path named "Path 2": "Path 1" is free again
    TIndex* i = addIndex(*only, {5, 5});
    auto arrow = std::make_unique<TArrow>();
    arrow->Path = only;
    w->DrawObject = arrow.get();
    w->DrawList.push_back(std::move(arrow));
    w->CurrentPath = only;
    w->CurrentIndex = i;
    w->ApplyScreenMode(mmNewMeasurement);
    tool->FillMeasurements(w, true);
    selectOnly(only);

    dialogs->answerMessage(mrYes);
    tool->A_DeletePath->trigger();
    EXPECT_EQ(dialogs->shownTexts().last(), QStringLiteral("Delete Path Path 2 and all contained objects?"));
    ASSERT_EQ(w->PathList.size(), 1u);
    EXPECT_EQ(w->PathList[0]->Name, QStringLiteral("Path 1"));
    EXPECT_EQ(w->CurrentPath.get(), w->PathList[0].get());
    EXPECT_EQ(w->CurrentIndex.get(), nullptr);
    EXPECT_TRUE(w->DrawList.empty());
    EXPECT_EQ(w->DrawObject, nullptr);
    EXPECT_EQ(w->ScreenMode(), mmSelect); // the path being measured is gone
    EXPECT_EQ(dump().last(), QStringLiteral("Path 1"));
}

TEST_F(Measurements, DeletingAPathMakesThePreviousOneCurrent)
{
    layOutTwoPaths();
    TPath* c = addPath(*w, QStringLiteral("C"));
    tool->FillMeasurements(w, true);
    selectOnly(c);
    dialogs->answerMessage(mrNo);
    tool->A_DeletePathExecute();
    EXPECT_EQ(w->PathList.size(), 3u);

    dialogs->answerMessage(mrYes);
    tool->A_DeletePathExecute();
    EXPECT_EQ(w->PathList.size(), 2u);
    EXPECT_EQ(w->CurrentPath.get(), b);
    EXPECT_EQ(w->CurrentIndex.get(), b->ObjectList.back().get());

    selectOnly(a); // position 0: the first remaining path becomes current
    dialogs->answerMessage(mrYes);
    tool->A_DeletePathExecute();
    EXPECT_EQ(w->CurrentPath.get(), b);
    EXPECT_EQ(dump(), (QStringList{"Anchor points [0]", "B", "  Index 1", "    M 1 | 42.33"}));
}

// ---- selection ---------------------------------------------------------------------------------

TEST_F(Measurements, ClickingAPointRowSelectsItAndCentresTheImageWindow)
{
    auto so = std::make_unique<TStitchObject>();
    so->Width = 8000;
    so->Height = 8000;
    w->StitchList.push_back(std::move(so));
    w->UpdateArea();
    layOutTwoPaths();
    m[3]->Pos = QPoint(5000, 4000);
    w->GotoScreenPos(5000, 4000);
    const int expectedH = w->SB_H->value();
    const int expectedV = w->SB_V->value();
    ASSERT_GT(expectedH, 0);
    w->SB_H->setValue(0);
    w->SB_V->setValue(0);

    tool->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tool.get(), 30000));
    tool->FillMeasurements(w, true);
    const QRect r = tool->VST->visualRect(indexOf(m[3]));
    ASSERT_TRUE(r.isValid());
    QTest::mouseClick(tool->VST->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());

    EXPECT_TRUE(m[3]->selected);
    EXPECT_EQ(tool->GetSelectedMeasurement(), m[3]);
    EXPECT_EQ(w->SB_H->value(), expectedH);
    EXPECT_EQ(w->SB_V->value(), expectedV);
    EXPECT_FALSE(tool->Clicked);
    EXPECT_EQ(tool->windowTitle(), QStringLiteral("Project [A - 5 Rings]"));

    // A selection made by code does not move the image.
    w->SB_H->setValue(0);
    selectOnly(m[0]);
    EXPECT_TRUE(m[0]->selected);
    EXPECT_FALSE(m[3]->selected);
    EXPECT_EQ(w->SB_H->value(), 0);

    // Nothing selected: the current path's points are unselected.
    tool->VST->selectionModel()->clearSelection();
    EXPECT_FALSE(m[0]->selected);
}

TEST_F(Measurements, SelectingAPointOfALongPathRefreshesItsRowsInOneGoAndKeepsTheView)
{
    // The caption update after a selection renames the path's points. One change signal per row
    // made a tree view walk all its rows for each of them: opening 40,000 points took seconds.
    layOutTwoPaths();
    for (int k = 0; k < 300; ++k)
        addMeasurement(*i2, {300 + k, 100});
    RecomputeDistances(a);
    tool->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tool.get()));
    tool->FillMeasurements(w, true);
    tool->VST->collapse(indexOf(b));
    const QModelIndex lastRow = indexOf(a->ObjectList.back()->ObjectList.back().get());
    tool->VST->scrollTo(lastRow);
    QCoreApplication::processEvents();
    const int scrolled = tool->VST->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);

    QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
    QSignalSpy laidOut(model(), &QAbstractItemModel::layoutChanged);
    // A point renamed behind the tree's back, as the numbering does: the refresh must show it.
    m[4]->Name = QStringLiteral("renamed");
    selectOnly(m[4]);
    QCoreApplication::processEvents();
    EXPECT_EQ(tool->windowTitle(), QStringLiteral("Project [A - 305 Rings]"));
    EXPECT_LE(changed.count() + laidOut.count(), 3) << "one signal per row";

    // The names are the numbering's again, and the view is as the user left it.
    EXPECT_EQ(indexOf(m[4]).data().toString(), QStringLiteral("M 5"));
    EXPECT_TRUE(tool->VST->isExpanded(indexOf(a)));
    EXPECT_TRUE(tool->VST->isExpanded(indexOf(i2)));
    EXPECT_FALSE(tool->VST->isExpanded(indexOf(b)));
    EXPECT_TRUE(tool->VST->selectionModel()->isSelected(indexOf(m[4])));
    EXPECT_EQ(tool->VST->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(tool->VST->verticalScrollBar()->value(), scrolled);
    const QRect shown = tool->VST->visualRect(indexOf(a->ObjectList.back()->ObjectList.back().get()));
    EXPECT_TRUE(tool->VST->viewport()->rect().contains(shown.center()));
    EXPECT_EQ(tool->VST->indexAt(shown.center()), lastRow);
}

TEST_F(Measurements, ImageWindowSelectsPointsInTheTree)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    selectOnly(a);

    tool->MarkNode(w, tool->GetNodeByObject(m[1]));
    EXPECT_FALSE(tool->VST->selectionModel()->isSelected(indexOf(a)));
    EXPECT_TRUE(tool->VST->selectionModel()->isSelected(indexOf(m[1])));
    EXPECT_TRUE(m[1]->selected);

    tool->ToggleSelection(tool->GetNodeByObject(m[2]), false);
    EXPECT_TRUE(m[2]->selected);
    tool->ToggleSelection(tool->GetNodeByObject(m[2]), true);
    EXPECT_FALSE(m[2]->selected);
    EXPECT_FALSE(tool->VST->selectionModel()->isSelected(indexOf(m[2])));
    tool->MarkNode(w, nullptr);
    tool->ToggleSelection(nullptr, false);

    tool->UnselectMeasurements(w, a);
    EXPECT_FALSE(m[1]->selected);
    EXPECT_EQ(tool->SelectedCount(), 0);

    // Selecting by number counts measurement points through the path.
    a->ObjectList.front()->ObjectList.clear();
    tool->FillMeasurements(w, true);
    tool->SelectMeasurement(w, a, 0);
    EXPECT_TRUE(m[3]->selected);
    EXPECT_TRUE(tool->VST->selectionModel()->isSelected(indexOf(m[3])));
    tool->SelectMeasurement(w, a, 2); // beyond the last
    EXPECT_TRUE(m[3]->selected);
}

TEST_F(Measurements, UserSelectionStaysOnOneLevel)
{
    layOutTwoPaths();
    tool->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tool.get(), 30000));
    tool->FillMeasurements(w, true);
    auto click = [&](const TJEXObject* o, Qt::KeyboardModifiers mods) {
        QTest::mouseClick(tool->VST->viewport(), Qt::LeftButton, mods, tool->VST->visualRect(indexOf(o)).center());
    };
    click(m[0], Qt::NoModifier);
    click(m[1], Qt::ControlModifier);
    EXPECT_TRUE(m[0]->selected && m[1]->selected);
    click(i2, Qt::ControlModifier);
    EXPECT_TRUE(i2->selected);
    EXPECT_FALSE(m[0]->selected || m[1]->selected);
    EXPECT_EQ(tool->SelectedCount(), 1);

    // The image window's selection clicks are not restricted by a selected path row.
    selectOnly(a);
    tool->ToggleSelection(tool->GetNodeByObject(m[4]), false);
    EXPECT_TRUE(m[4]->selected);
}

// ---- check boxes, editing, popups --------------------------------------------------------------

TEST_F(Measurements, UncheckingAPathHidesItAndGreysItsRows)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    const QModelIndex pathRow = indexOf(a);
    EXPECT_EQ(pathRow.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(model()->flags(pathRow) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model()->flags(indexOf(i1)) & Qt::ItemIsUserCheckable);

    QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(model()->setData(pathRow, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(a->visible);
    EXPECT_GE(changed.count(), 1);
    for (const TJEXObject* o : {static_cast<TJEXObject*>(a), static_cast<TJEXObject*>(i1), static_cast<TJEXObject*>(m[4])})
        EXPECT_EQ(indexOf(o).data(Qt::ForegroundRole).value<QColor>(), QColor(192, 192, 192));
    EXPECT_EQ(indexOf(b).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));

    TAnchorPoint* ap = tool->NewAnchorPoint(w, 3, 3);
    tool->FillMeasurements(w, true);
    model()->setData(indexOf(ap), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_FALSE(ap->Active);
}

TEST_F(Measurements, InPlaceEditingRenamesPathsAndCommentsPoints)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    const int name = MeasurementTreeModel::ColName, comment = MeasurementTreeModel::ColComment;
    struct Row {
        TJEXObject* object;
        int column;
        bool editable;
    };
    const Row rows[] = {
        {a, name, true}, {a, comment, true}, {i1, name, false}, {i1, comment, true},
        {m[0], comment, true}, {m[0], MeasurementTreeModel::ColDistance, false},
        {w->AnchorLine.get(), comment, false}, {w->AnchorLine.get(), name, false},
    };
    for (const Row& r : rows) {
        const QModelIndex cell = indexOf(r.object).siblingAtColumn(r.column);
        EXPECT_EQ(bool(model()->flags(cell) & Qt::ItemIsEditable), r.editable) << r.object->Name.toStdString();
        EXPECT_EQ(model()->setData(cell, QStringLiteral("new"), Qt::EditRole), r.editable);
    }
    EXPECT_EQ(a->Name, QStringLiteral("new"));
    EXPECT_EQ(a->Comment, QStringLiteral("new"));
    EXPECT_EQ(i1->Comment, QStringLiteral("new"));
    EXPECT_EQ(i1->Name, QStringLiteral("Index 1"));
    EXPECT_EQ(w->AnchorLine->Comment, QString());

    // Unbound, nothing is editable.
    tool->ClearAll();
    EXPECT_EQ(model()->rowCount(), 0);
    MeasurementTreeModel detached;
    detached.beginRebuild();
    detached.SetNodeObject(detached.AddChild(nullptr), b);
    detached.endRebuild();
    EXPECT_FALSE(detached.flags(detached.index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(Measurements, PopupPerNodeKindWithItsItemsEnabledForTheCurrentPath)
{
    layOutTwoPaths();
    auto rect = std::make_unique<TRectangle>();
    rect->Path = b;
    w->DrawList.push_back(std::move(rect));
    tool->NewAnchorPoint(w, 1, 1);
    tool->FillMeasurements(w, true);
    auto texts = [](QMenu* menu) {
        QStringList t;
        for (QAction* act : menu->actions())
            t << (act->isSeparator() ? QStringLiteral("-") : act->text());
        return t;
    };

    EXPECT_EQ(tool->VSTGetPopupMenu(nullptr), tool->PAB_Empty);
    EXPECT_EQ(texts(tool->PAB_Empty), QStringList{"New Path"});
    EXPECT_EQ(tool->VSTGetPopupMenu(w->AnchorLine->Node), tool->PAB_AnchorLine);
    EXPECT_EQ(tool->VSTGetPopupMenu(tool->GetNodeByObject(w->AnchorLine->AnchorPoints[0].get())), tool->PAB_AnchorPoint);
    EXPECT_TRUE(tool->PAB_AnchorPoint->actions().isEmpty());
    EXPECT_EQ(tool->VSTGetPopupMenu(tool->GetNodeByObject(w->DrawList[0].get())), tool->PAB);
    EXPECT_EQ(tool->PAB->defaultAction(), tool->A_EditDO);

    a->Pith = true;
    ASSERT_EQ(tool->VSTGetPopupMenu(a->Node), tool->PAB_Path);
    EXPECT_TRUE(tool->PM_Pith->isChecked());
    EXPECT_EQ(texts(tool->PAB_Path), (QStringList{"Activate Path", "New Path", "Delete Path", "-", "Pith", "-",
                                                   "Path info", "Edit properties"}));

    ASSERT_EQ(tool->VSTGetPopupMenu(i1->Node), tool->PAB_Index);
    EXPECT_TRUE(tool->PM_DeleteIndex->isEnabled());
    EXPECT_TRUE(tool->A_Sapwood->isEnabled());
    tool->VSTGetPopupMenu(b->ObjectList[0]->Node);
    EXPECT_FALSE(tool->PM_DeleteIndex->isEnabled());
    EXPECT_FALSE(tool->A_Sapwood->isEnabled());

    ASSERT_EQ(tool->VSTGetPopupMenu(m[0]->Node), tool->PAB_Measurement);
    EXPECT_TRUE(tool->PM_DeleteMeasurements->isEnabled());
    EXPECT_EQ(texts(tool->PAB_Measurement),
              (QStringList{"Insert Index", "-", "Insert Measurement", "Delete Measurements", "Edit info",
                           "Create new path from here", "-", "Set/Clear Sapwood border", "-", "New Path"}));
    tool->VSTGetPopupMenu(b->ObjectList[0]->ObjectList[0]->Node);
    EXPECT_FALSE(tool->PM_DeleteMeasurements->isEnabled());

    // Path actions follow the first selected node.
    selectOnly(a);
    EXPECT_TRUE(tool->A_DeletePath->isEnabled());
    EXPECT_FALSE(tool->A_ActivatePath->isEnabled()); // already current
    selectOnly(b);
    EXPECT_TRUE(tool->A_ActivatePath->isEnabled());
    tool->A_ActivatePath->trigger();
    EXPECT_EQ(w->CurrentPath.get(), b);
    EXPECT_EQ(w->CurrentIndex.get(), b->ObjectList.back().get());
    EXPECT_EQ(model()->IconSlot(b->Node), 3);
    EXPECT_EQ(model()->IconSlot(a->Node), 0);
    selectOnly(m[0]);
    EXPECT_FALSE(tool->A_DeletePath->isEnabled());
}

TEST_F(Measurements, HeaderPopupShowsAndHidesColumns)
{
    tool->PM_HeaderPopup();
    EXPECT_TRUE(tool->PM_HeaderDistance->isChecked());
    tool->PM_HeaderDistance->trigger(); // unticks itself
    EXPECT_TRUE(tool->VST->isColumnHidden(MeasurementTreeModel::ColDistance));
    EXPECT_FALSE(tool->VST->isColumnHidden(MeasurementTreeModel::ColComment));
    tool->PM_HeaderPopup();
    EXPECT_FALSE(tool->PM_HeaderDistance->isChecked());
    EXPECT_TRUE(tool->PM_HeaderCoordinates->isChecked());
}

// ---- sapwood, comments, keys, properties -------------------------------------------------------

TEST_F(Measurements, OneSapwoodBorderPerWindow)
{
    layOutTwoPaths();
    TMeasurement* other = b->ObjectList[0]->ObjectList[0].get();
    other->SapWood = true;
    tool->FillMeasurements(w, true);
    selectOnly(m[2]);
    tool->A_Sapwood->trigger();
    EXPECT_TRUE(m[2]->SapWood);
    EXPECT_FALSE(other->SapWood);
    tool->A_Sapwood->trigger(); // on the point that carries it: cleared
    EXPECT_FALSE(m[2]->SapWood);

    TF_Measurements::SetSapwoodFlag(a); // not a point
    EXPECT_FALSE(a->SapWood);
}

TEST_F(Measurements, KeysInsertPointsAndAskForComments)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    selectOnly(m[0]);

    int key = Qt::Key_Insert;
    tool->FormKeyDown(key, Qt::NoModifier);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(i1->ObjectList.size(), 4u);

    selectOnly(m[0]);
    key = Qt::Key_Insert;
    tool->FormKeyDown(key, Qt::ControlModifier);
    EXPECT_EQ(a->ObjectList.size(), 3u);

    selectOnly(i2);
    dialogs->answerInput(QStringLiteral("bark"));
    QTest::keyClick(tool->VST, Qt::Key_I);
    EXPECT_EQ(i2->Comment, QStringLiteral("bark"));
    ASSERT_FALSE(dialogs->shown().isEmpty());
    EXPECT_EQ(dialogs->shown().last().caption, QStringLiteral("JEX4"));
    EXPECT_EQ(dialogs->shown().last().text, QStringLiteral("Comment:"));
    EXPECT_EQ(indexOf(i2).siblingAtColumn(MeasurementTreeModel::ColComment).data().toString(), QStringLiteral("bark"));

    key = Qt::Key_A;
    tool->FormKeyDown(key, Qt::NoModifier);
    EXPECT_EQ(key, Qt::Key_A); // not ours
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

TEST_F(Measurements, EditInfosSetsTheCommentOfEverySelectedPoint)
{
    layOutTwoPaths();
    m[1]->Comment = QStringLiteral("old");
    tool->FillMeasurements(w, true);
    selectOnly(m[1]);
    dialogs->answerInput(QStringLiteral("single"));
    tool->EditInfos();
    EXPECT_EQ(dialogs->shown().last().detail, QStringLiteral("old"));
    EXPECT_EQ(m[1]->Comment, QStringLiteral("single"));

    tool->VST->selectionModel()->select(indexOf(m[2]), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    dialogs->answerInput(QStringLiteral("both"));
    tool->EditInfos();
    EXPECT_EQ(dialogs->shown().last().text, QStringLiteral("Enter info:"));
    EXPECT_EQ(dialogs->shown().last().detail, QString());
    EXPECT_EQ(m[1]->Comment, QStringLiteral("both"));
    EXPECT_EQ(m[2]->Comment, QStringLiteral("both"));

    dialogs->cancelInput();
    tool->EditInfos();
    EXPECT_EQ(m[2]->Comment, QStringLiteral("both"));
}

TEST_F(Measurements, PathPropertiesDialogWritesBackOnOkOnly)
{
    layOutTwoPaths();
    tool->FillMeasurements(w, true);
    selectOnly(b);
    whenShown<TF_EditPathProps>([](TF_EditPathProps* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Edit Path Properties"));
        EXPECT_EQ(d->LE_Name->text(), QStringLiteral("B"));
        EXPECT_TRUE(d->CB_Visible->isChecked());
        d->LE_Name->setText(QStringLiteral("A")); // a repeated name is accepted here
        d->CB_Visible->setChecked(false);
        d->M_Comment->setPlainText(QStringLiteral("second core"));
        d->CB_Pith->setChecked(true);
        d->B_Ok->click();
    });
    tool->A_PathProperties->trigger();
    EXPECT_EQ(b->Name, QStringLiteral("A"));
    EXPECT_FALSE(b->visible);
    EXPECT_EQ(b->Comment, QStringLiteral("second core"));
    EXPECT_TRUE(b->Pith);
    EXPECT_EQ(indexOf(b).data().toString(), QStringLiteral("A"));

    whenShown<TF_EditPathProps>([](TF_EditPathProps* d) {
        d->LE_Name->setText(QStringLiteral("ignored"));
        d->B_Cancel->click();
    });
    tool->A_PathProperties->trigger();
    EXPECT_EQ(b->Name, QStringLiteral("A"));
}

TEST_F(Measurements, RemoveAllAnchorPointsAndDeleteADrawObject)
{
    tool->NewAnchorPoint(w, 1, 1);
    tool->NewAnchorPoint(w, 9, 9);
    TPath* p = addPath(*w, QStringLiteral("P"));
    auto arrow = std::make_unique<TArrow>();
    arrow->Name = QStringLiteral("Arrow");
    arrow->Path = p;
    arrow->MDIForm = w.data();
    w->DrawList.push_back(std::move(arrow));
    tool->FillMeasurements(w, true);
    EXPECT_TRUE(tool->A_RemoveAllAnchorPoints->isEnabled());
    w->SB_AnchorStrict->setCheckable(true);
    w->SB_AnchorStrict->setChecked(true);

    dialogs->answerMessage(mrYes);
    tool->A_RemoveAllAnchorPoints->trigger();
    EXPECT_EQ(w->AnchorLine->Count(), 0);
    EXPECT_FALSE(w->SB_AnchorStrict->isChecked());
    EXPECT_FALSE(tool->A_RemoveAllAnchorPoints->isEnabled());

    selectOnly(w->DrawList[0].get());
    dialogs->answerMessage(mrNo);
    tool->A_DeleteDO->trigger();
    EXPECT_EQ(w->DrawList.size(), 1u);
    dialogs->answerMessage(mrYes);
    tool->A_DeleteDO->trigger();
    EXPECT_TRUE(w->DrawList.empty());
    EXPECT_EQ(dialogs->shownTexts(), (QStringList{"Remove all anchor points?", "Delete object?", "Delete object?"}));
    EXPECT_EQ(dump(), (QStringList{"Anchor points [0]", "P"}));
}

} // namespace
