// Images and the control points that name them: a control point must never reach a freed image.
#include "project/TControlPoint.h"
#include "project/TStitchObject.h"

#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

TEST(StitchObject, BuffersAreOwnedAndSizedByTheLoader)
{
    auto so = std::make_unique<TStitchObject>();
    so->FD->SetSize(7, 3, 24);
    so->FT->SetSize(7, 3, 24);
    so->FZ->SetSize(2, 1, 24);
    EXPECT_EQ(so->FD->AbsHeight, 3);
    EXPECT_EQ(so->FZ->Info.Header.Width, 2);
    so.reset(); // the three buffers go with the image; ASan reports any that stay behind
}

TEST(StitchObject, HasNoDrawingOfItsOwn)
{
    TStitchObject so;
    EXPECT_THROW(so.Draw(nullptr, nullptr), std::logic_error);
    EXPECT_THROW(so.Draw(nullptr, nullptr, false), std::logic_error);
}

TEST(ControlPoint, ImageLinksClearWhenTheImageIsFreed)
{
    std::vector<std::unique_ptr<TStitchObject>> stitchList;
    for (int i = 0; i < 3; ++i)
        stitchList.push_back(std::make_unique<TStitchObject>());

    TControlPoint a;
    a.SO1 = stitchList[0].get();
    a.SO2 = stitchList[1].get();
    TControlPoint b;
    b.SO1 = stitchList[1].get();
    b.SO2 = stitchList[2].get();

    stitchList.erase(stitchList.begin() + 1);

    EXPECT_EQ(a.SO1.get(), stitchList[0].get());
    EXPECT_EQ(a.SO2.get(), nullptr);
    EXPECT_EQ(b.SO1.get(), nullptr);
    EXPECT_EQ(b.SO2.get(), stitchList[1].get());

    stitchList.clear();
    EXPECT_EQ(a.SO1.get(), nullptr);
    EXPECT_EQ(b.SO2.get(), nullptr);
}
