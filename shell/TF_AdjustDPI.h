// The resolution calibration wizard: the user clicks both ends of a known distance in an image
// window (a ruler in the picture), types its real length and unit, and the window takes the
// resolution that follows. The clicks are the image window's; the wizard shows them and computes.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TF_SMDI;
class TFloatEdit;
class TPageControlEx;

class TF_AdjustDPI : public QDialog {
    Q_OBJECT
public:
    explicit TF_AdjustDPI(QWidget* parent = nullptr);

    // Units of CB_units, by index: "cm", "mm", "1/10th mm", "1/100th mm", "inch", "1/10th inch",
    // "1/100 inch". How many of a unit make an inch; 0 for an index outside the list.
    static double UnitsPerInch(int index);
    // The resolution of `pixels` canvas pixels that measure `length` units (unitsPerInch to the
    // inch), rounded halves to even; 0 when there is none: no length, no distance, or below 1 DPI.
    static int ComputeDPI(double pixels, double length, double unitsPerInch);

    // ---- components ----
    TPageControlEx* PC_AdjustDPI = nullptr;
    QWidget* TS_DPI1 = nullptr;
    QWidget* TS_DPI2 = nullptr;
    QWidget* TS_DPI3 = nullptr;
    QLineEdit* E_X1 = nullptr;
    QLineEdit* E_Y1 = nullptr;
    QLineEdit* E_X2 = nullptr;
    QLineEdit* E_Y2 = nullptr;
    QLineEdit* E_Distance = nullptr;
    TFloatEdit* FE_Distance = nullptr;
    QComboBox* CB_units = nullptr;
    QLabel* L_IRes = nullptr;
    QPushButton* B_Accept = nullptr;
    QPushButton* B_Back2 = nullptr;
    QPushButton* B_Back3 = nullptr;
    QPushButton* B_Cancel = nullptr;

    // ---- state ----
    QPointer<TF_SMDI> MDIForm; // the window being calibrated
    int MyDPI = 0;             // the last computed resolution, kept between calibrations

    // Shows the page of the window's screen mode and the clicked points; on the last page the
    // resolution follows.
    void UpdateScreen();
    // Computes MyDPI from the points and the typed length and shows it. Always 0.
    int calculate();

    // Handlers.
    void FormShow();
    void B_CancelClick();
    void B_Back2Click();
    void B_Back3Click();
    void B_AcceptClick();
    void PC_AdjustDPIChange();
    void CB_unitsChange();
    void FE_DistanceChange();
    void FE_DistanceKeyDown(int Key);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override; // Esc: as Cancel

private:
    QWidget* page(const QString& heading);
    void endCalibration(); // the window back to selection, its cursor set and repainted
    bool m_computed = false; // MyDPI was computed from this calibration's points and length
};

// The one wizard, created at start-up; none before that.
extern QPointer<TF_AdjustDPI> F_AdjustDPI;
