// The path statistics window: counts, overall length and ring-width statistics of one path in
// the chosen unit. The statistics are plain functions so the numbers can be checked on their own.
#pragma once

#include "project/TJEXObject.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class QIcon;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The layout both information windows share: icon and bold name at the top, a borderless
// read-only memo, and a bottom panel with "&Ok".
struct InfoWindowParts {
    QLabel* icon = nullptr;
    QLabel* name = nullptr;
    QPlainTextEdit* memo = nullptr;
    QPushButton* ok = nullptr;
};
InfoWindowParts BuildInfoWindow(QDialog* window, const QIcon& icon);
// Centres the window on its owner (the main window), or on the screen without one.
void CentreOnMainWindow(QWidget* window);

struct PathStatistics {
    int indexCount = 0;
    int measurementCount = 0;
    double sum = 0.0; // every ring width in the unit
    double mean = 0.0;
    double stdDev = 0.0; // of the whole path, divided by n
    double minimum = 0.0;
    double maximum = 0.0;
    bool pith = false;
};

// Widths are recomputed from the point positions first, so a path that painting has not refreshed
// (a hidden one) still gives its true widths. `units` and `dpi` as PixelsToUnit; a resolution of 0
// or less gives widths of 0 for every unit but pixels.
PathStatistics ComputePathStatistics(TPath& path, int units, int dpi);
// Six significant digits shown with two decimals; larger numbers in scientific notation.
QString FormatStatistic(double value);
// The overall length in the larger unit of the ring-width unit, with its suffix (" mm").
QString OverallLengthText(double sum, int units);
// The unit combo's text for a unit (0 to 7); empty outside.
QString UnitText(int units);
// The memo lines for a path's statistics.
QStringList PathInfoLines(const PathStatistics& s, int units);

class TF_PathInfo : public QDialog {
    Q_OBJECT
public:
    explicit TF_PathInfo(QWidget* parent = nullptr);

    ObjectRef<TPath> Path; // set by the caller before showing; reads as none once freed
    int DPI = 0;           // resolution of the path's image window, set with Path

    QLabel* I_Icon = nullptr;
    QLabel* L_PathName = nullptr;
    QPlainTextEdit* M_PathInfo = nullptr;
    QPushButton* B_Ok = nullptr; // "&Ok", also the Cancel button

    void UpdateInfo();
    void FormShow();
    void B_OkClick();

protected:
    void showEvent(QShowEvent* event) override;
};

extern QPointer<TF_PathInfo> F_PathInfo;
