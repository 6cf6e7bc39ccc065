// The gray-value tracker: the brightness of every pixel along the current path of an image window,
// line after line from each point to the next, with a cross at every ring border. Pointing into
// the profile shows the place in the image window; clicking near a border selects that point.
// Sampling is plain code (BuildProfile); the window draws and follows the mouse.
#pragma once

#include "workspace/ChartAxis.h"

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QScrollBar;
class QSlider;
class QSpinBox;
class QStatusBar;
class QToolButton;
class TFastDIB;
class TF_SMDI;
class TPath;

// One sample of the profile: a canvas pixel and its gray value, -1 outside the image.
struct TFDPoint {
    int x = 0;
    int y = 0;
    int Color = -1;
};

// The profile of a path: its samples in plotting order (the index is the chart's x), and the x
// of the last sample of every line (the crosses).
struct TrackerProfile {
    std::vector<TFDPoint> Points;
    std::vector<int> Markers;
};

// Samples the line from p1 to p2, both ends included, one sample per step of the longer axis
// (Bresenham), reading `image` at the canvas coordinates; appends the samples and returns their
// mean.
double AddLine(const TFastDIB& image, QPoint p1, QPoint p2, std::vector<TFDPoint>& out);

// The profile of a path over an image: index point to its first measurement point, then each
// measurement point to the next. A point shared by two lines is sampled twice. No image (an empty
// one) gives samples of -1; no path or no measurement points give an empty profile.
TrackerProfile BuildProfile(const TPath* path, const TFastDIB& image);

// The values the chart plots: each sample's gray value, or with smooth n the mean of the samples
// from n before to n after it (fewer at the ends of the profile).
std::vector<double> PlottedValues(const std::vector<TFDPoint>& points, int smooth);

class TF_Tracker : public QWidget {
    Q_OBJECT
public:
    explicit TF_Tracker(QWidget* parent = nullptr);

    QPointer<TF_SMDI> MDI; // the window whose profile is shown
    double GrayMean = 0;

    QWidget* Chart = nullptr;
    QSlider* TB_Ver = nullptr;      // left axis maximum, 1..1000
    QSpinBox* UD_Ordinate = nullptr; // left axis minimum as 255 - value
    QSlider* TB_Hor = nullptr;      // samples shown
    QScrollBar* SB_Hor = nullptr;   // first sample shown
    QStatusBar* SB_Tracker = nullptr;
    QWidget* P_Status = nullptr;
    QToolButton* SB_Refresh = nullptr;
    QToolButton* SB_Log = nullptr;
    QToolButton* SB_DisplayCross = nullptr; // the crosses at the ring borders drawn
    QToolButton* SB_SMDICursor = nullptr;   // crosshair in the image window
    QLabel* L_Smooth = nullptr;
    QSpinBox* SE_Smooth = nullptr;          // curve averaged over 2n + 1 samples
    QLineEdit* E_Position = nullptr;

    // Rebuilds the profile for f's current path; none only empties the chart.
    void UpdateTracker(TF_SMDI* f);
    // Called by the image window's repaints: rebuilds when f is the window shown and its current
    // path, points or tracker images changed since the profile was built.
    void FollowWindow(TF_SMDI* f);
    void ClearPList();
    void PrepareImage(TF_SMDI*) {}

    const TrackerProfile& profile() const { return m_profile; }
    ChartAxis leftAxis() const { return m_left; }
    ChartAxis bottomAxis() const { return m_bottom; }
    // Sets the axes' pixels for the chart's current size.
    void layoutAxes(QSize chartSize) const;
    // The chart as drawn now, at the chart's size.
    QImage chartImage() const;
    // True while the user works in this window: the image window shows the tracker's crosshair
    // then instead of its own.
    bool isActiveForm() const;

    // Left axis range read at start ("TrackerHMin", "TrackerHMax").
    void setLeftRange(int minimum, int maximum);

    void FormShow();
    void SB_RefreshClick();
    void TB_VerChange();
    void UD_OrdinateChanging(int position);
    void TB_HorChange();
    void SB_HorChange();
    void SB_LogClick();
    void ChartMouseMove(Qt::MouseButtons buttons, QPoint at);
    void ChartMouseDown(QPoint at);

    // The design size: a floating carrier opens at it.
    QSize sizeHint() const override { return {400, 250}; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    quint64 signatureOf(TF_SMDI* f) const;
    void drawChart(QImage& image) const;
    int sampleAt(QPoint at) const; // the sample under a chart point; -1 outside the profile

    TrackerProfile m_profile;
    quint64 m_signature = 0;
    mutable ChartAxis m_left; // their pixels follow the chart's size
    mutable ChartAxis m_bottom;
    int m_lastMoveX = -1; // chart x of the last mouse move: the yellow line
    QPoint m_lastPress;
};

extern QPointer<TF_Tracker> F_Tracker;
