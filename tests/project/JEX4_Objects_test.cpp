// Start values of every model class. Each object is built on memory filled with 0xFF and its plain
// fields are read back byte by byte, so a field without an initialiser shows up as garbage
// instead of a lucky zero.
#include "project/JEX4_Objects.h"

#include "image/TFastDIB.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <vector>

namespace {

template <class T>
class OnGarbage {
public:
    OnGarbage()
    {
        // Volatile stores, so the fill cannot be dropped as dead before the constructor runs.
        volatile unsigned char* p = m_storage;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            p[i] = 0xFF;
        m_object = new (m_storage) T; // default-initialisation: no zeroing of its own
    }
    ~OnGarbage() { m_object->~T(); }
    OnGarbage(const OnGarbage&) = delete;
    OnGarbage& operator=(const OnGarbage&) = delete;

    T& operator*() { return *m_object; }
    T* operator->() { return m_object; }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
    T* m_object;
};

// The field's bytes as they lie in memory: volatile reads, so the optimiser cannot answer from
// what it assumes about storage a constructor left alone.
template <class F>
std::vector<unsigned char> memoryOf(const F& field)
{
    const volatile unsigned char* p = reinterpret_cast<const volatile unsigned char*>(&field);
    std::vector<unsigned char> bytes(sizeof(F));
    for (std::size_t i = 0; i < sizeof(F); ++i)
        bytes[i] = p[i];
    return bytes;
}

template <class F>
bool zeroInMemory(const F& field)
{
    for (unsigned char b : memoryOf(field))
        if (b != 0)
            return false;
    return true;
}

template <class F>
bool trueInMemory(const F& field)
{
    return memoryOf(field) == std::vector<unsigned char> {1};
}

#define EXPECT_ZERO(field) EXPECT_TRUE(zeroInMemory(field)) << #field
#define EXPECT_SET(field) EXPECT_TRUE(trueInMemory(field)) << #field

void expectBaseFields(const TJEXObject& o, bool expanded, const QString& name = QString())
{
    EXPECT_EQ(o.Pos, QPoint(0, 0));
    EXPECT_EQ(o.Name, name);
    EXPECT_TRUE(o.Comment.isEmpty());
    if (expanded) {
        EXPECT_SET(o.expanded);
    } else {
        EXPECT_ZERO(o.expanded);
    }
    EXPECT_ZERO(o.selected);
    EXPECT_ZERO(o.FirstVisible);
    EXPECT_ZERO(o.SapWood);
    EXPECT_ZERO(o.distance);
    EXPECT_ZERO(o.Node);
}

const QRegularExpression registryGuid(QStringLiteral(
    "^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));

} // namespace

TEST(ModelDefaults, PathIsVisibleExpandedEmptyWithRegistryGuid)
{
    OnGarbage<TPath> path;
    expectBaseFields(*path, true);
    EXPECT_SET(path->visible);
    EXPECT_ZERO(path->Pith);
    EXPECT_TRUE(path->ObjectList.empty());
    EXPECT_TRUE(registryGuid.match(path->GUID).hasMatch()) << path->GUID.toStdString();
}

TEST(ModelDefaults, IndexIsExpandedWithoutPathOrPoints)
{
    OnGarbage<TIndex> index;
    expectBaseFields(*index, true);
    EXPECT_EQ(index->Path.get(), nullptr);
    EXPECT_TRUE(index->ObjectList.empty());
}

TEST(ModelDefaults, PointsStartWithoutLinks)
{
    OnGarbage<TMeasurement> m;
    expectBaseFields(*m, false);
    EXPECT_EQ(m->Path.get(), nullptr);
    EXPECT_EQ(m->Index.get(), nullptr);

    OnGarbage<TAnchorPoint> a;
    expectBaseFields(*a, false);
    EXPECT_EQ(a->AnchorLine.get(), nullptr);
    EXPECT_ZERO(a->Active);
}

TEST(ModelDefaults, AnchorLineIsNamedAndEmpty)
{
    OnGarbage<TAnchorLine> line;
    expectBaseFields(*line, false, QStringLiteral("Anchor points"));
    EXPECT_EQ(line->Count(), 0);
}

TEST(ModelDefaults, DrawObjectsStartZero)
{
    OnGarbage<TArrow> arrow;
    expectBaseFields(*arrow, false);
    EXPECT_EQ(arrow->Path.get(), nullptr);
    EXPECT_EQ(arrow->MDIForm.data(), nullptr);
    EXPECT_EQ(arrow->x1, QPoint(0, 0));
    EXPECT_EQ(arrow->x2, QPoint(0, 0));
    EXPECT_ZERO(arrow->Color);
    EXPECT_ZERO(arrow->Width);
    EXPECT_ZERO(arrow->TipWidth);
    EXPECT_ZERO(arrow->BaseWidth);
    EXPECT_ZERO(arrow->TipType);
    EXPECT_ZERO(arrow->BaseType);
    EXPECT_TRUE(arrow->caption.isEmpty());
    EXPECT_ZERO(arrow->Selected);

    OnGarbage<TRectangle> rect;
    expectBaseFields(*rect, false);
    EXPECT_EQ(rect->Path.get(), nullptr);
    EXPECT_EQ(rect->MDIForm.data(), nullptr);
    EXPECT_EQ(rect->x1, QPoint(0, 0));
    EXPECT_EQ(rect->x2, QPoint(0, 0));
    EXPECT_ZERO(rect->PColor);
    EXPECT_ZERO(rect->BColor);
    EXPECT_ZERO(rect->Selected);
    EXPECT_ZERO(rect->Transparent);
    EXPECT_ZERO(rect->PWidth);
}

TEST(ModelDefaults, ImageIsVisibleWithThreeEmptyBuffers)
{
    OnGarbage<TStitchObject> so;
    expectBaseFields(*so, false);
    EXPECT_ZERO(so->x);
    EXPECT_ZERO(so->y);
    EXPECT_ZERO(so->DropBorder);
    EXPECT_ZERO(so->Width);
    EXPECT_ZERO(so->Height);
    EXPECT_TRUE(so->filename.isEmpty());
    EXPECT_ZERO(so->ImageChanged);
    EXPECT_SET(so->Visible);
    EXPECT_ZERO(so->Selected);
    EXPECT_ZERO(so->Displayed);
    EXPECT_ZERO(so->Loaded);
    EXPECT_ZERO(so->Embedded);

    const TFastDIB* buffers[] = {so->FD.get(), so->FT.get(), so->FZ.get()};
    for (const TFastDIB* dib : buffers) {
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(dib->Info.Header.Width, 0);
        EXPECT_EQ(dib->Info.Header.Height, 0);
        EXPECT_EQ(dib->Bits, nullptr);
    }
    EXPECT_NE(so->FD.get(), so->FT.get());
    EXPECT_NE(so->FD.get(), so->FZ.get());
    EXPECT_NE(so->FT.get(), so->FZ.get());
}

TEST(ModelDefaults, RecordsStartZeroEmptyFalse)
{
    OnGarbage<TJEXProject> project;
    EXPECT_TRUE(project->Name.isEmpty());
    EXPECT_TRUE(project->Filename.isEmpty());
    EXPECT_TRUE(project->Notes.isEmpty());
    EXPECT_ZERO(project->Changed);

    OnGarbage<TControlPoint> cp;
    EXPECT_EQ(cp->SO1.get(), nullptr);
    EXPECT_EQ(cp->SO2.get(), nullptr);
    EXPECT_ZERO(cp->Index1);
    EXPECT_ZERO(cp->Index2);
    EXPECT_ZERO(cp->Pairing);
    EXPECT_ZERO(cp->X1);
    EXPECT_ZERO(cp->Y1);
    EXPECT_ZERO(cp->X2);
    EXPECT_ZERO(cp->Y2);

    OnGarbage<TArea> area;
    EXPECT_ZERO(area->x1);
    EXPECT_ZERO(area->y1);
    EXPECT_ZERO(area->x2);
    EXPECT_ZERO(area->y2);

    OnGarbage<TMeasurementData> data;
    EXPECT_ZERO(data->Distance);
    EXPECT_ZERO(data->UnitDistance);
    EXPECT_TRUE(data->Info.isEmpty());
}

TEST(ModelDefaults, BrushSetStartsZeroEmptyFalse)
{
    OnGarbage<TBrushSet> b;
    EXPECT_TRUE(b->BName.isEmpty());
    EXPECT_ZERO(b->CadColor);
    EXPECT_ZERO(b->MColor);
    EXPECT_ZERO(b->IColor);
    EXPECT_ZERO(b->ILColor);
    EXPECT_ZERO(b->MLColor);
    EXPECT_ZERO(b->MSColor);
    EXPECT_ZERO(b->ISColor);
    EXPECT_ZERO(b->RALColor);
    EXPECT_ZERO(b->ISize);
    EXPECT_ZERO(b->MSize);
    EXPECT_ZERO(b->RALLength);
    EXPECT_ZERO(b->ILWidth);
    EXPECT_ZERO(b->MWidth);
    EXPECT_ZERO(b->RALWidth);
    EXPECT_ZERO(b->MCursor);
    EXPECT_ZERO(b->ICursor);
    EXPECT_ZERO(b->SCursor);
    EXPECT_ZERO(b->ScaleRAL);
    EXPECT_ZERO(b->LVisible);
    EXPECT_ZERO(b->RALVisible);
    EXPECT_ZERO(b->TVisible);
    EXPECT_ZERO(b->OVisible);
    EXPECT_ZERO(b->Current);
}
