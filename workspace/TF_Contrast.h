// The "Adjust image properties" dialog: contrast, brightness, colour saturation and colour bias
// of one image or of every image of an image window. The sliders change a reduced copy of the
// chosen image at once; OK applies the settings to the full pictures, Cancel leaves them alone.
#pragma once

#include "image/ImageAdjustments.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QTimer;
class AdjustPreview;
class TF_SMDI;
class TFastDIB;
class TFloatEdit;

class TF_Contrast : public QDialog {
    Q_OBJECT
public:
    explicit TF_Contrast(QWidget* parent = nullptr);
    ~TF_Contrast() override;

    QPointer<TF_SMDI> MDI; // the window worked on; set before showing
    TFastDIB* PIC = nullptr; // the chosen image's full copy (owned by the image)
    int ContrastSize = 5;    // reduction factor of the preview, 1..61
    int BW_X = 1, BW_Y = 1;  // where the preview sits in the paint box
    std::unique_ptr<TFastDIB> ContrastPreviewDIB;

    QScrollBar* SB_Contrast = nullptr;   // -255..255
    TFloatEdit* FE_Contrast = nullptr;
    QScrollBar* SB_Lightness = nullptr;  // "Brightness"
    TFloatEdit* FE_Lightness = nullptr;
    QScrollBar* SB_Saturation = nullptr; // 255 leaves the colours alone
    TFloatEdit* FE_Saturation = nullptr;
    QScrollBar* SB_Red = nullptr;        // colour bias
    QScrollBar* SB_green = nullptr;
    QScrollBar* SB_Blue = nullptr;
    QLabel* L_Red = nullptr;
    QLabel* L_Green = nullptr;
    QLabel* L_Blue = nullptr;
    QPushButton* B_reset = nullptr;
    QPushButton* BitBtn1 = nullptr; // "Histogram"
    QComboBox* CB_PreviewImage = nullptr;
    QCheckBox* CB_ApplyAll = nullptr;
    AdjustPreview* PB_Contrast = nullptr;
    QPushButton* B_Ok = nullptr;
    QPushButton* B_Cancel = nullptr;
    QTimer* Timer1 = nullptr; // the first view, 250 ms after an image is chosen

    // The settings of the sliders.
    ImageAdjustments Settings() const;

    void FormShow();
    void BeginImageEdit();
    void BuildPreview();
    void RefreshView();
    // The settings applied to the chosen image itself; zoomed copies, repaint, histogram.
    void B_PreviewClick();
    void B_resetClick();
    void B_OkClick();
    void B_CancelClick();
    void ZoomBy(int delta); // the wheel: positive zooms in

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void done(int result) override;

public slots:
    void reject() override; // Cancel, Esc and the close box

private:
    void sliderMoved();          // edits and labels follow, the preview is asked for
    void scheduleRefresh();
    void enterPressed(TFloatEdit* edit, QScrollBar* bar);
    void FormClose();
    void afterImageChange();     // zoomed copies, repaint, histogram

    QTimer* m_refresh = nullptr; // gathers slider moves into one preview rebuild
};

// Created at start-up, or by the first "Adjust image(s)".
extern QPointer<TF_Contrast> F_Contrast;
