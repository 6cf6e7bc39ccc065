// Shared fixture and helpers of the image-window tests.
#include "support/ImageWindowTest.h"

#include "image/TFastDIB.h"
#include "shell/TF_ErrorLog.h"

#include <QCoreApplication>

#include <memory>

void PrintTo(const QPoint& p, std::ostream* os)
{
    *os << "(" << p.x() << ", " << p.y() << ")";
}

namespace testhelpers {

QImage patterned(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 37 + y * 11 + seed) & 255, (x * 5 + y * 71 + 3 * seed) & 255, (x * 13 ^ y * 7) & 255));
    return img;
}

QRgb fdPixel(const TFastDIB& fd, int x, int y)
{
    const TFColor c = fd.GetPixel(fd.AbsHeight - 1 - y, x);
    return qRgb(c.r, c.g, c.b);
}

ImageWindowTest::ImageWindowTest(QSize size, std::optional<QPoint> pos)
    : m_size(size)
    , m_pos(pos)
{
}

void ImageWindowTest::SetUp()
{
    auto fake = std::make_unique<FakeDialogs>();
    dialogs = fake.get();
    setDialogs(std::move(fake));
    TF_ErrorLog::ClearLog();
    tool = new TF_Measurements;
    F_Measurements = tool;
    w = new TF_SMDI;
    w->resize(m_size);
    if (m_pos)
        w->move(*m_pos);
    w->show();
    QCoreApplication::processEvents();
}

void ImageWindowTest::TearDown()
{
    delete w.data();
    delete tool.data();
    F_Measurements = nullptr;
    setDialogs(nullptr);
}

} // namespace testhelpers
