// Common ground of the image-window tests: a shown window with the project tool window bound to
// it and scripted dialogs, pixels of a window's images in picture coordinates, readable points.
#pragma once

#include "platform/FakeDialogs.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

class TFastDIB;

// Points in failure messages as "(x, y)".
void PrintTo(const QPoint& p, std::ostream* os);

namespace testhelpers {

// Pixel (x, y) of a bottom-up image, counted from the picture's top row.
QRgb fdPixel(const TFastDIB& fd, int x, int y);

// A picture whose every pixel differs from its neighbours, so a shift or flip shows; each seed
// gives another one.
QImage patterned(int w, int h, int seed = 0);

// A shown image window `w` of the given size, with the project tool window `tool` bound as
// F_Measurements, scripted dialogs `dialogs` and an empty error log. The window goes first at the
// end, then the tool window; the real dialogs come back last.
class ImageWindowTest : public ::testing::Test {
protected:
    explicit ImageWindowTest(QSize size = {500, 400}, std::optional<QPoint> pos = std::nullopt);
    void SetUp() override;
    void TearDown() override;

    FakeDialogs* dialogs = nullptr;
    QPointer<TF_Measurements> tool;
    QPointer<TF_SMDI> w;

private:
    QSize m_size;
    std::optional<QPoint> m_pos; // placed before it is shown; none: where the platform puts it
};

} // namespace testhelpers
