// The histogram window: brightness, red, green and blue histograms of all images of one image
// window as curves over the values 0 to 255, colour bars under them, and a tick at the gray value
// under the image window's mouse. The counting is plain code; the window only shows the counts.
#pragma once

#include "workspace/ChartAxis.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <vector>

class QCheckBox;
class QToolButton;
class TFastDIB;
class TF_SMDI;

// The four histograms of some images, added up.
struct HistogramCounts {
    std::array<quint64, 256> Brightness{}; // (R + G + B) div 3
    std::array<quint64, 256> Red{};
    std::array<quint64, 256> Green{};
    std::array<quint64, 256> Blue{};
};

// Adds every pixel of a 24-bit image to the counts; an image of another depth or without pixels
// in memory adds nothing.
void CountHistogram(const TFastDIB& image, HistogramCounts& counts);
// The same for several images at once, counted side by side on the processor's threads.
void CountHistograms(const std::vector<const TFastDIB*>& images, HistogramCounts& counts);

// A fingerprint of an image's buffer, size and a spread of up to 4096 of its pixels: a zoom, a
// scroll or a resize keeps it, every whole-image operation changes it.
quint64 ImageFingerprint(const TFastDIB& image);

class TF_Histogram : public QWidget {
    Q_OBJECT
public:
    explicit TF_Histogram(QWidget* parent = nullptr);

    QPointer<TF_SMDI> MDI; // the window last counted
    int LMarker = 0;       // gray-value band the grayscale dialog takes over; nothing sets them
    int RMarker = 0;

    QWidget* P_Status = nullptr;
    QToolButton* SB_Refresh = nullptr;
    QCheckBox* CB_Red = nullptr;
    QCheckBox* CB_Green = nullptr;
    QCheckBox* CB_Blue = nullptr;
    QCheckBox* CB_Brightness = nullptr;
    QWidget* Panel1 = nullptr;      // shows "No data available" where the chart is hidden
    QWidget* C_Histo = nullptr;     // the chart
    QWidget* PB_Gradient = nullptr; // colour bars under the chart

    // Gray value under the image window's mouse, -1 outside the first image. A change shows at once.
    int MarkValue() const { return m_markValue; }
    void setMarkValue(int value);

    // Counts and shows the histograms of f's images; none hides the chart. While the window is
    // hidden only the window is remembered: showing it counts. Images whose fingerprints are
    // those of the last count are not counted again (a zoom or a resize changes no pixel).
    void UpdateHistogram(TF_SMDI* f);
    // Counts f's images whatever the last count was.
    void RecountHistogram(TF_SMDI* f);
    void PrepareHistogram();
    void SB_RefreshClick();
    void FormShow();
    void CB_RedClick();

    const HistogramCounts& counts() const { return m_counts; }
    // Series 0 to 3 (brightness, red, green, blue) shown.
    bool seriesShown(int series) const;
    // The chart and the colour bars as drawn at the given size.
    QImage chartImage(QSize size) const;
    QImage gradientImage(QSize size, int chartWidth) const;
    // The bottom axis (values 0 to 255) of a chart of this width.
    static ChartAxis bottomAxis(int chartWidth);

    // The design size: a floating carrier opens at it.
    QSize sizeHint() const override { return {361, 180}; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void count(TF_SMDI* f);

    quint64 fingerprintOf(TF_SMDI* f) const;

    HistogramCounts m_counts;
    bool m_hasData = false;
    quint64 m_countedFingerprint = 0; // of the images counted last; 0: none
    int m_markValue = -1;
};

extern QPointer<TF_Histogram> F_Histogram;
