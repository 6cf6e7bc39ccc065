// Scanner layer against SANE's test device: listing sources, colour and gray scans at two
// resolutions with their DPI, a cancelled scan, a device that is not there or fails while it
// reads, and the conversion of raw frames into pictures.
#include "platform/Twain.h"

#include "platform/TScanDialog.h"
#include "support/SaneTestDevice.h"

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <sane/sane.h>

#include <cmath>
#include <optional>


namespace {

using testhelpers::SaneTestDevice;
using testhelpers::waitUntil;

// Records every event of one TTwain.
struct Events {
    QList<QImage> images;
    QList<int> indices;
    int cancels = 0;
    int errors = 0;
    bool cancelAfterImage = true;

    void attach(TTwain& t)
    {
        t.OnTwainAcquire = [this](TTwain*, int index, const QImage& image, bool& cancel) {
            images << image;
            indices << index;
            cancel = cancelAfterImage;
        };
        t.OnAcquireCancel = [this](TTwain*) { ++cancels; };
        t.OnAcquireError = [this](TTwain*) { ++errors; };
    }
    bool any() const { return !images.isEmpty() || cancels || errors; }
};

int dpiOf(const QImage& image)
{
    return int(std::lround(image.dotsPerMeterX() * 0.0254));
}

TEST(Twain, ListsTheDevicesOfTheConfigurationOnly)
{
    SaneTestDevice sane;
    ASSERT_TRUE(sane.isValid());
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager()) << twain.LastError().toStdString();
    ASSERT_EQ(twain.SourceList().size(), 2);
    EXPECT_EQ(twain.SourceList()[0].Name, "test:0");
    EXPECT_EQ(twain.SourceList()[1].Name, "test:1");
    EXPECT_TRUE(twain.SourceList()[0].ProductName().endsWith("(test:0)"));
}

TEST(Twain, SelectionReturnsTheDialogsChoice)
{
    SaneTestDevice sane;
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    QList<TTwainSource> offered;
    twain.SelectDialog = [&](QWidget*, const QList<TTwainSource>& sources) {
        offered = sources;
        return 1;
    };
    EXPECT_EQ(twain.SelectSource(nullptr), 1);
    EXPECT_EQ(offered.size(), 2);
    twain.SelectDialog = [](QWidget*, const QList<TTwainSource>&) { return -1; };
    EXPECT_EQ(twain.SelectSource(nullptr), -1);
}

// Mode and resolution decide the picture's format, size and DPI.
TEST(Twain, ScansInTheChosenModeAndResolution)
{
    struct Case {
        const char* mode;
        int dpi;
        QImage::Format format;
        int width, height;
    };
    const Case cases[] = {
        {"Color", 100, QImage::Format_RGB888, 100, 50},
        {"Color", 200, QImage::Format_RGB888, 200, 100},
        {"Gray", 100, QImage::Format_Grayscale8, 100, 50},
        {"Gray", 300, QImage::Format_Grayscale8, 300, 150},
    };
    SaneTestDevice sane;
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.dpi));
        Events events;
        events.attach(twain);
        ASSERT_TRUE(twain.EnableSource(0, false));
        ASSERT_TRUE(waitUntil([&] { return twain.SourceOpen() || events.any(); }));
        ASSERT_TRUE(twain.SourceOpen()) << twain.LastError().toStdString();
        EXPECT_TRUE(twain.Options().Modes.contains("Gray"));
        EXPECT_TRUE(twain.Options().Resolutions.contains(c.dpi));
        ASSERT_TRUE(twain.Acquire({c.mode, c.dpi}));
        ASSERT_TRUE(waitUntil([&] { return events.any(); }));
        ASSERT_EQ(events.images.size(), 1) << twain.LastError().toStdString();
        const QImage& image = events.images[0];
        EXPECT_EQ(image.format(), c.format);
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
        EXPECT_EQ(dpiOf(image), c.dpi);
        EXPECT_EQ(events.indices, QList<int>{0});
        // The pattern is not one flat colour; in colour it is not gray either.
        bool varies = false, coloured = false;
        const QRgb first = image.pixel(0, 0);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                varies |= p != first;
                coloured |= qRed(p) != qGreen(p) || qGreen(p) != qBlue(p);
            }
        EXPECT_TRUE(varies);
        EXPECT_EQ(coloured, c.format == QImage::Format_RGB888);
        EXPECT_FALSE(twain.SourceEnabled()); // cancel set by the handler ends the acquisition
    }
}

TEST(Twain, AKeptConnectionDeliversFurtherImagesWithRisingIndex)
{
    SaneTestDevice sane;
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    Events events;
    events.cancelAfterImage = false;
    events.attach(twain);
    ASSERT_TRUE(twain.EnableSource(1, false));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(waitUntil([&] { return twain.SourceOpen() || events.errors; }));
        ASSERT_TRUE(twain.Acquire({}));
        ASSERT_TRUE(waitUntil([&] { return events.images.size() == i + 1 || events.errors; }));
    }
    EXPECT_EQ(events.indices, (QList<int>{0, 1}));
    EXPECT_TRUE(twain.SourceEnabled());
    EXPECT_EQ(dpiOf(events.images[1]), 100); // the source's own resolution
    twain.DisableSource();
    EXPECT_FALSE(twain.SourceEnabled());
    EXPECT_EQ(events.cancels, 0);
}

TEST(Twain, CancelStopsAScanBeforeOrWhileItReads)
{
    // One byte a read at 1200 dpi: the scan takes far longer than the test waits.
    SaneTestDevice sane({"enable-test-options true", "read-limit true", "read-limit-size 1"});
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    for (int waitMs : {0, 150}) {
        SCOPED_TRACE(waitMs);
        Events events;
        events.attach(twain);
        ASSERT_TRUE(twain.EnableSource(0, false));
        ASSERT_TRUE(waitUntil([&] { return twain.SourceOpen() || events.any(); }));
        ASSERT_TRUE(twain.Acquire({QString(), 1200}));
        ASSERT_TRUE(twain.Scanning());
        if (waitMs)
            waitUntil([] { return false; }, waitMs);
        twain.Cancel();
        ASSERT_TRUE(waitUntil([&] { return events.any(); }));
        EXPECT_EQ(events.cancels, 1);
        EXPECT_EQ(events.errors, 0) << twain.LastError().toStdString();
        EXPECT_TRUE(events.images.isEmpty());
        EXPECT_FALSE(twain.SourceEnabled());
    }
}

TEST(Twain, ClosingTheDialogBeforeAnImageIsACancel)
{
    SaneTestDevice sane;
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    Events events;
    events.attach(twain);
    ASSERT_TRUE(twain.EnableSource(0, true));
    ASSERT_NE(twain.Dialog(), nullptr);
    EXPECT_FALSE(twain.Dialog()->B_Scan->isEnabled()); // until the device has answered
    ASSERT_TRUE(waitUntil([&] { return twain.SourceOpen() || events.any(); }));
    EXPECT_TRUE(twain.Dialog()->B_Scan->isEnabled());
    twain.Dialog()->B_Cancel->click();
    EXPECT_EQ(events.cancels, 1);
    EXPECT_EQ(twain.Dialog(), nullptr);
    EXPECT_FALSE(twain.SourceEnabled());
}

TEST(Twain, TheDialogScansWithItsChoices)
{
    SaneTestDevice sane;
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    Events events;
    events.attach(twain);
    ASSERT_TRUE(twain.EnableSource(0, true));
    ASSERT_TRUE(waitUntil([&] { return twain.SourceOpen() || events.any(); }));
    TScanDialog* d = twain.Dialog();
    ASSERT_NE(d, nullptr);
    d->CB_Mode->setCurrentText("Gray");
    const int i200 = d->CB_Resolution->findData(200);
    ASSERT_GE(i200, 0);
    d->CB_Resolution->setCurrentIndex(i200);
    d->B_Scan->click();
    EXPECT_FALSE(d->B_Scan->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return events.any(); }));
    ASSERT_EQ(events.images.size(), 1);
    EXPECT_EQ(events.images[0].format(), QImage::Format_Grayscale8);
    EXPECT_EQ(dpiOf(events.images[0]), 200);
    EXPECT_EQ(twain.Dialog(), nullptr);
}

TEST(Twain, MissingDevicesAndBadIndicesAreErrors)
{
    SaneTestDevice sane;
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    for (const QString& name : {QStringLiteral("test:7"), QStringLiteral("nosuch:0")}) {
        SCOPED_TRACE(name.toStdString());
        Events events;
        events.attach(twain);
        ASSERT_TRUE(twain.EnableSourceByName(name, true));
        ASSERT_TRUE(waitUntil([&] { return events.any(); }));
        EXPECT_EQ(events.errors, 1);
        EXPECT_TRUE(twain.LastError().contains(name)) << twain.LastError().toStdString();
        EXPECT_FALSE(twain.SourceEnabled());
        EXPECT_EQ(twain.Dialog(), nullptr);
    }
    Events events;
    events.attach(twain);
    EXPECT_FALSE(twain.EnableSource(2, false));
    EXPECT_EQ(events.errors, 1);
    EXPECT_FALSE(twain.Acquire({})); // nothing open
}

TEST(Twain, ADeviceFailingWhileItReadsIsAnError)
{
    SaneTestDevice sane({"enable-test-options true", "read-status-code \"SANE_STATUS_IO_ERROR\""});
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    Events events;
    events.attach(twain);
    ASSERT_TRUE(twain.EnableSource(0, false));
    ASSERT_TRUE(waitUntil([&] { return twain.SourceOpen() || events.any(); }));
    ASSERT_TRUE(twain.Acquire({}));
    ASSERT_TRUE(waitUntil([&] { return events.any(); }));
    EXPECT_EQ(events.errors, 1);
    EXPECT_TRUE(events.images.isEmpty());
    EXPECT_TRUE(twain.LastError().contains("Error during device I/O")) << twain.LastError().toStdString();
}

TEST(Twain, AnUnsetModeIsRefusedWithoutAScan)
{
    SaneTestDevice sane;
    TTwain twain;
    ASSERT_TRUE(twain.LoadSourceManager());
    Events events;
    events.attach(twain);
    ASSERT_TRUE(twain.EnableSource(0, false));
    ASSERT_TRUE(waitUntil([&] { return twain.SourceOpen() || events.any(); }));
    ASSERT_TRUE(twain.Acquire({QStringLiteral("Infrared"), 0}));
    ASSERT_TRUE(waitUntil([&] { return events.any(); }));
    EXPECT_EQ(events.errors, 1);
    EXPECT_TRUE(twain.LastError().contains("Infrared"));
}

// Raw frames: each supported layout, and frames that are short or of an unknown kind.
TEST(SaneFrameToImage, ConvertsEachLayoutAndRefusesShortOrUnknownFrames)
{
    const unsigned char gray8[] = {0, 128, 255, 0xEE /*padding*/, 10, 20, 30, 0xEE};
    QImage g = SaneFrameToImage(SANE_FRAME_GRAY, 8, 3, 4, 2, gray8, sizeof gray8);
    ASSERT_EQ(g.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(g.pixelColor(1, 0).red(), 128);
    EXPECT_EQ(g.pixelColor(2, 1).red(), 30);

    const uint16_t gray16[] = {0x0000, 0x80FF, 0xFFFF, 0x1234};
    QImage g16 = SaneFrameToImage(SANE_FRAME_GRAY, 16, 2, 4, 2, reinterpret_cast<const unsigned char*>(gray16),
                                  sizeof gray16);
    ASSERT_FALSE(g16.isNull());
    EXPECT_EQ(g16.pixelColor(1, 0).red(), 0x80);
    EXPECT_EQ(g16.pixelColor(1, 1).red(), 0x12);

    const unsigned char art[] = {0b10100000, 0b01000000}; // 3 pixels a line, one byte each
    QImage a = SaneFrameToImage(SANE_FRAME_GRAY, 1, 3, 1, 2, art, sizeof art);
    ASSERT_FALSE(a.isNull());
    EXPECT_EQ(a.pixelColor(0, 0).red(), 0);   // set bit: black
    EXPECT_EQ(a.pixelColor(1, 0).red(), 255);
    EXPECT_EQ(a.pixelColor(2, 0).red(), 0);
    EXPECT_EQ(a.pixelColor(1, 1).red(), 0);

    const unsigned char rgb[] = {1, 2, 3, 4, 5, 6};
    QImage c = SaneFrameToImage(SANE_FRAME_RGB, 8, 2, 6, 1, rgb, sizeof rgb);
    ASSERT_EQ(c.format(), QImage::Format_RGB888);
    EXPECT_EQ(c.pixel(1, 0), qRgb(4, 5, 6));

    const uint16_t rgb16[] = {0xFF00, 0x0100, 0x7F00};
    QImage c16 = SaneFrameToImage(SANE_FRAME_RGB, 16, 1, 6, 1, reinterpret_cast<const unsigned char*>(rgb16),
                                  sizeof rgb16);
    EXPECT_EQ(c16.pixel(0, 0), qRgb(0xFF, 0x01, 0x7F));

    struct Bad {
        const char* what;
        int format, depth, ppl, bpl, lines;
        qsizetype size;
    };
    const Bad bad[] = {
        {"fewer bytes than lines", SANE_FRAME_RGB, 8, 2, 6, 2, 6},
        {"line shorter than its pixels", SANE_FRAME_RGB, 8, 2, 5, 1, 6},
        {"separate red pass", SANE_FRAME_RED, 8, 2, 2, 1, 6},
        {"12-bit gray", SANE_FRAME_GRAY, 12, 2, 3, 1, 6},
        {"no lines", SANE_FRAME_GRAY, 8, 2, 2, 0, 6},
        {"negative width", SANE_FRAME_GRAY, 8, -2, 2, 1, 6},
    };
    for (const Bad& b : bad) {
        QString error;
        EXPECT_TRUE(SaneFrameToImage(b.format, b.depth, b.ppl, b.bpl, b.lines, rgb, b.size, &error).isNull()) << b.what;
        EXPECT_FALSE(error.isEmpty()) << b.what;
    }
}

} // namespace
