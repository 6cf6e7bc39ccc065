// The settings dialog: eight pages chosen from a tree. Every control is loaded from its settings
// variable or window value when the dialog shows and written back by "&Apply", which also brings
// the open windows and the link to RAXO up to date; "&Close" drops what was not applied. The
// brush-set editor and the clipboard option change at once.
#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;
class QTreeWidget;
class TBrushSet;
class TColorPickerButton;
class TFloatEdit;
class TPageControlEx;
class TThinTrackBar;

class TF_Setup : public QDialog {
    Q_OBJECT
public:
    explicit TF_Setup(QWidget* parent = nullptr);
    ~TF_Setup() override;

    int Tag = 0;         // page (tree node) selected when the dialog shows
    int HelpContext = 5001;

    // Help contexts of the tree nodes; node 7 keeps the one before.
    static constexpr int NodeHelpContexts[8] = {5036, 5031, 5034, 5032, 5030, 5035, 5033, 0};
    // Where the "Hugin website" label leads.
    static inline const char* HuginDownloadPage = "https://hugin.sourceforge.io/download/";

    QTreeWidget* TV_Select = nullptr;
    QLabel* P_Top = nullptr;
    TPageControlEx* PCE = nullptr;
    QPushButton* B_Apply = nullptr;
    QPushButton* B_Cancel = nullptr;
    QTimer* Timer1 = nullptr;

    // Page 0, "System".
    QCheckBox* CB_AutoScroll = nullptr;
    QSpinBox* SE_AutoScrollSpeed = nullptr;
    QCheckBox* CB_Gesture = nullptr;
    QCheckBox* CB_TWAINCancel = nullptr;
    QCheckBox* CB_DynamicEnable = nullptr;
    QCheckBox* CB_EmbedImages = nullptr;
    QCheckBox* CB_ClearClipboard = nullptr; // the stored option itself: takes effect at once
    QCheckBox* CB_Autofocus = nullptr;
    QCheckBox* CB_AutoCheckUpdates = nullptr;

    // Page 1, "General display parameters".
    TColorPickerButton* CPB_AreaColor = nullptr;
    QComboBox* CB_AreaBrush = nullptr;
    TColorPickerButton* CPB_Desktop = nullptr;
    TColorPickerButton* CPB_TColor = nullptr;
    QComboBox* CB_Font = nullptr;
    QSpinBox* SE_FontSize = nullptr;
    QSpinBox* SE_Angle = nullptr;
    QCheckBox* CB_FixedFontSize = nullptr;
    QSpinBox* SE_RoundDigits = nullptr;
    QComboBox* CB_ResampleAlgorithm = nullptr;
    QCheckBox* CB_MovingTransparency = nullptr;
    TThinTrackBar* TB_MovingTransparency = nullptr;

    // Page 2, "Object display parameters".
    TColorPickerButton* CPB_IColor = nullptr;
    QSpinBox* SE_ISize = nullptr;
    TColorPickerButton* CPB_ILColor = nullptr;
    QCheckBox* CB_DrawIndexLines = nullptr;
    QSpinBox* SE_ILWidth = nullptr;
    TColorPickerButton* CPB_MColor = nullptr;
    QSpinBox* SE_MSize = nullptr;
    TColorPickerButton* CPB_MLColor = nullptr;
    QSpinBox* SE_Mwidth = nullptr;
    TColorPickerButton* CPB_RAL = nullptr;
    QSpinBox* SE_RALLength = nullptr;
    QSpinBox* SE_RALWidth = nullptr;
    QCheckBox* CB_ScaleRAL = nullptr;
    TColorPickerButton* CPB_SelColor = nullptr;
    QSpinBox* SE_EnlargeSelected = nullptr;
    QComboBox* CB_BrushSet = nullptr;
    QToolButton* BB_AddBrushSet = nullptr;
    QToolButton* BB_RenameBrushSet = nullptr;
    QToolButton* BB_UseCurrentSettings = nullptr; // "Store"
    QToolButton* BB_RemoveBrushSet = nullptr;

    // Page 3, "Helper windows".
    QCheckBox* CB_ZoomDisplayCrosshairs = nullptr;
    TColorPickerButton* CPB_ZoomCrosshairsColor = nullptr;
    QSpinBox* SE_ZoomArea = nullptr;
    TColorPickerButton* CPB_BirdThumbnailcolor = nullptr;
    QCheckBox* CB_BirdHighlight = nullptr;
    QCheckBox* CB_DisplayFilePreview = nullptr;
    QCheckBox* CB_FileManagerExtensions = nullptr;
    QLineEdit* E_FileManagerAllowExtensions = nullptr;

    // Page 4, "Cursors".
    QComboBox* CB_MCursor = nullptr;
    QComboBox* CB_ICursor = nullptr;
    QComboBox* CB_SCursor = nullptr;
    TColorPickerButton* CPB_CADColor = nullptr;
    QCheckBox* CB_CADVisible = nullptr;
    QCheckBox* CB_SwitchOffCursor = nullptr;

    // Page 5, the link to RAXO.
    QLineEdit* E_IP = nullptr;
    TFloatEdit* FE_Port = nullptr;
    QCheckBox* CB_CheckTCPConnection = nullptr;

    // Page 6, "Image alignment".
    QLineEdit* E_PTOGen = nullptr;
    QToolButton* B_PTOGen = nullptr;
    QLineEdit* E_CPFind = nullptr;
    QToolButton* Button1 = nullptr;
    QLabel* Label6 = nullptr; // "Hugin website"

    // Page 7, "Network settings".
    QLineEdit* E_ProxyServer = nullptr;
    TFloatEdit* E_ProxyPort = nullptr;
    QLineEdit* E_ProxyUsername = nullptr;
    QLineEdit* E_ProxyPassword = nullptr;
    QCheckBox* CB_ProxyAuthentication = nullptr;
    QCheckBox* CB_UseProxy = nullptr;

    // ---- handlers ----
    void FormShow();
    void UpdateSetup();
    void B_ApplyClick();
    void B_PTOGenClick();
    void Button1Click();
    void Label6Click();
    void CB_BrushSetChange();
    void BB_AddBrushSetClick();
    void BB_RemoveBrushSetClick();
    void BB_RenameBrushSetClick();
    void BB_UseCurrentSettingsClick();

    void UpdateBrushSetList();
    void SaveSettingsToBrushSet(TBrushSet& ABrushSet) const;
    // Makes a preset current and copies it into the drawing settings; the main window's display
    // toggles follow and every image window repaints its overlay.
    void ChangeBrushSet(TBrushSet* ABrushSet);

    // The longest brush-set name kept.
    static constexpr int MaxBrushSetName = 24;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    QWidget* createSystemPage();
    QWidget* createDisplayPage();
    QWidget* createObjectsPage();
    QWidget* createHelperPage();
    QWidget* createCursorPage();
    QWidget* createLinkPage();
    QWidget* createAlignmentPage();
    QWidget* createNetworkPage();
    QString askToolPath(const QString& current, const QString& filter);
    // Asks for a brush-set name; empty when cancelled or left empty.
    QString askBrushSetName(const QString& prompt);
    bool brushSetNameExists(const QString& name) const;
    void applyLink();
};

// The one settings dialog; made at start-up.
extern QPointer<TF_Setup> F_Setup;
