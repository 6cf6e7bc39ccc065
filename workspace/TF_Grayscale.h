// The "Grayscale - Black & White" dialog: black-and-white threshold, weighted gray, bit planes and
// brightness slicing of one image or of every image of an image window, with a reduced preview of
// the chosen image that shows the chain as it is set. OK applies the chain to the full pictures.
#pragma once

#include "image/GrayscaleChain.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;
class AdjustPreview;
class TF_SMDI;
class TFastDIB;
class TThinTrackBar;

class TF_Grayscale : public QDialog {
    Q_OBJECT
public:
    explicit TF_Grayscale(QWidget* parent = nullptr);
    ~TF_Grayscale() override;

    QPointer<TF_SMDI> MDI; // the window worked on; set before showing
    int BW_Size = 3;       // reduction factor of the preview, 1..61
    int BW_X = 1, BW_Y = 1;
    bool DontApply = false; // set while a conversion preset writes the weights
    std::unique_ptr<TFastDIB> GrayPreviewDIB;

    QCheckBox* CB_BlackWhite = nullptr;
    QWidget* PB_Scale = nullptr; // white to black, under the threshold
    TThinTrackBar* TB_Threshold = nullptr;
    QCheckBox* CB_GrayScale = nullptr;
    QRadioButton* RB_Neutral = nullptr;
    QRadioButton* RB_NTSC = nullptr;
    QRadioButton* RB_Free = nullptr;
    QSpinBox* SE_Red = nullptr; // percent
    QSpinBox* SE_Green = nullptr;
    QSpinBox* SE_Blue = nullptr;
    QCheckBox* CB_Bitplane = nullptr;
    QCheckBox* CB_Bits[8] = {}; // CB_0 .. CB_7
    QCheckBox* CB_KeepGrayscales = nullptr;
    QCheckBox* CB_Invert = nullptr;
    QCheckBox* CB_BrightnessSlicing = nullptr;
    QSpinBox* SE_Lower = nullptr;
    QSpinBox* SE_Higher = nullptr; // the slice width
    QCheckBox* CB_InvertSlice = nullptr;
    QCheckBox* CB_KeepGrayScalesSlice = nullptr;
    QCheckBox* CB_IncludeSlice = nullptr;
    QGroupBox* GB_EdgeDetection = nullptr; // hidden, as its boxes start unticked
    QCheckBox* CB_MedianCut = nullptr;
    QCheckBox* CB_Smooth = nullptr;
    QSpinBox* SE_Smooth = nullptr;
    QCheckBox* RB_Despecle = nullptr;
    QCheckBox* CB_EdgeEnhance = nullptr;
    QCheckBox* RB_Dilate = nullptr;
    QPushButton* B_Reset = nullptr;
    QComboBox* CB_PreviewImage = nullptr;
    QCheckBox* CB_ApplyAll = nullptr;
    AdjustPreview* PB_Preview = nullptr;
    QPushButton* B_Ok = nullptr;
    QPushButton* B_Cancel = nullptr;

    // The chain as the controls set it.
    GrayscaleSettings Settings() const;

    void FormShow();
    void BuildPreview();
    void DrawPreview();
    void Rebuild(); // BuildPreview, then DrawPreview
    void B_ResetClick();
    void B_OkClick();
    void ZoomBy(int delta); // the wheel: positive zooms in

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void presetChosen();
    void weightChanged();
    void FormClose();
    TFastDIB* chosenImage() const;

};

// Created at start-up, or by the first "Grayscale image(s)".
extern QPointer<TF_Grayscale> F_Grayscale;
