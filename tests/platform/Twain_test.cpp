// Scanner layer against SANE's test device: listing sources, colour and gray scans at two
// resolutions with their DPI, a cancelled scan, a device that is not there or fails while it
// reads, and the conversion of raw frames into pictures; frames whose announced lines are far
// wider than their pixels, and hand-scanner frames, bounded by the picture limit.
#include "platform/Twain.h"

#include "image/FastJPG.h"
#include "platform/TScanDialog.h"
#include "support/SaneTestDevice.h"

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <sane/sane.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

TEST(Twain, AHandScannerStopsAtThePictureLimit)
{
    // SANE's test device as a hand scanner: the length is unknown until the frame ends. Its
    // 100 x 50 colour picture is more than a 20-line limit allows.
    SaneTestDevice sane({"hand-scanner true"});
    struct Limit {
        Limit() { SetMaxPictureBytes(qint64(300) * 20); }
        ~Limit() { SetMaxPictureBytes(0); }
    } limit;
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
    EXPECT_TRUE(twain.LastError().contains("would hold more than")) << twain.LastError().toStdString();
}

// A device that sends `sent` lines of `bytesPerLine` bytes, in pieces of at most `piece`: each
// line starts with its pixels' bytes, (line * 7 + offset) % 251, and the rest is padding.
struct FrameDevice {
    qint64 bytesPerLine = 0;
    qint64 pixelBytes = 0;
    qint64 sent = 0;
    qint64 piece = 70000;
    qint64 position = 0; // bytes handed out
    int reads = 0;

    int read(unsigned char* dst, qint64 size, qint64* got, bool* eof, QString*)
    {
        ++reads;
        const qint64 total = bytesPerLine * sent;
        *got = std::min({size, piece, total - position});
        for (qint64 i = 0; i < *got;) {
            const qint64 line = (position + i) / bytesPerLine, offset = (position + i) % bytesPerLine;
            const qint64 run = std::min(*got - i, bytesPerLine - offset);
            if (offset >= pixelBytes) {
                std::memset(dst + i, 0xEE, size_t(run));
            } else {
                for (qint64 k = 0; k < run; ++k)
                    dst[i + k] = offset + k < pixelBytes ? quint8((line * 7 + offset + k) % 251) : 0xEE;
            }
            i += run;
        }
        position += *got;
        *eof = position == total;
        return SaneFrameDone;
    }
};

TEST(ReadSaneFrame, KeepsOnlyWhatThePictureNeedsAndRefusesPicturesBeyondTheLimit)
{
    const qint64 limitLines = 20; // of a 100-pixel colour line
    const struct {
        const char* what;
        int format, pixels;
        qint64 bytesPerLine;
        int announced;
        qint64 sent;
        int outcome, lines; // lines of the picture when done
    } rows[] = {
        {"colour, lines as wide as their pixels", SANE_FRAME_RGB, 100, 300, 10, 10, SaneFrameDone, 10},
        {"gray, lines padded", SANE_FRAME_GRAY, 100, 1000, 10, 10, SaneFrameDone, 10},
        // As a device announcing 256 MB lines did; what is kept follows the pixels.
        {"lines far wider than their pixels", SANE_FRAME_GRAY, 100, qint64(32) << 20, 4, 4, SaneFrameDone, 4},
        {"more lines than announced", SANE_FRAME_RGB, 100, 300, 4, 6, SaneFrameDone, 4},
        {"hand scanner", SANE_FRAME_RGB, 100, 400, -1, 15, SaneFrameDone, 15},
        {"hand scanner beyond the limit", SANE_FRAME_RGB, 100, 400, -1, 500, SaneFrameFailed, 0},
        {"announced beyond the limit", SANE_FRAME_RGB, 100, 300, 21, 21, SaneFrameFailed, 0},
    };
    SetMaxPictureBytes(300 * limitLines);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const qint64 pixelBytes = r.format == SANE_FRAME_RGB ? 3 * r.pixels : r.pixels;
        FrameDevice device{r.bytesPerLine, pixelBytes, r.sent};
        QImage image;
        QString error;
        const int outcome = ReadSaneFrame(
            r.format, 8, r.pixels, r.bytesPerLine, r.announced,
            [&](unsigned char* dst, qint64 size, qint64* got, bool* eof, QString* e) { return device.read(dst, size, got, eof, e); },
            &image, &error);
        EXPECT_EQ(outcome, r.outcome) << error.toStdString();
        if (r.outcome != SaneFrameDone) {
            EXPECT_TRUE(error.contains("would hold more than")) << error.toStdString();
            EXPECT_TRUE(image.isNull());
            // Refused as soon as it is too large: a hand scan is not read on to its end.
            EXPECT_LE(device.position, r.bytesPerLine * (limitLines + 1) + device.piece);
            continue;
        }
        ASSERT_EQ(image.width(), r.pixels);
        ASSERT_EQ(image.height(), r.lines);
        for (int y = 0; y < image.height(); ++y) {
            const uchar* row = image.constScanLine(y);
            for (qint64 x = 0; x < pixelBytes; ++x)
                ASSERT_EQ(row[x], quint8((y * 7 + x) % 251)) << "line " << y << " byte " << x;
        }
        EXPECT_EQ(device.position, r.bytesPerLine * r.sent) << "the frame is read to its end";
    }
    SetMaxPictureBytes(0);
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
