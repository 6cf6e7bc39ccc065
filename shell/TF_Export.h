// The export wizard: picks a format and the paths of one image window, shows the export text in an
// editable memo and saves it. The text itself comes from project/Exports; the wizard only reads
// its controls, fills the memos and writes the file.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;
class TF_SMDI;
class TPageControlEx;
class TPath;

class TF_Export : public QDialog {
    Q_OBJECT
public:
    explicit TF_Export(QWidget* parent = nullptr);
    ~TF_Export() override;

    // The image window whose paths are exported; set before the wizard is shown.
    QPointer<TF_SMDI> MDI;

    // ---- components ----
    QLabel* L_Header = nullptr;
    QLabel* M_Header = nullptr;
    TPageControlEx* PCE = nullptr;
    QPushButton* B_Back = nullptr;
    QPushButton* B_Cancel = nullptr;
    QPushButton* B_Continue = nullptr;

    QWidget* TS_1 = nullptr;
    QRadioButton* RB_FH = nullptr;
    QRadioButton* RB_Tucson = nullptr;
    QRadioButton* RB_ASCII = nullptr;
    QRadioButton* RB_CoordinatesASCII = nullptr;

    QWidget* TS_2 = nullptr;
    QLineEdit* E_Keycode = nullptr;
    QTreeWidget* VSTP = nullptr; // one checkable node per path: "Series", "Rings"

    QWidget* TS_FH = nullptr;
    QLineEdit* E_Loc = nullptr;
    QLineEdit* E_Comment = nullptr;
    QComboBox* CB_Species = nullptr;
    QPushButton* BB_UpdateFH = nullptr;
    QPlainTextEdit* M_FH = nullptr;

    QWidget* TS_Tucson = nullptr;
    QLineEdit* E_Identifier = nullptr;
    QPushButton* BB_UpdateTuc = nullptr;
    QPlainTextEdit* M_Tuc = nullptr;

    QWidget* TS_ASCII = nullptr;
    QSpinBox* SE_ASCIILines = nullptr;
    QComboBox* CB_ASCIISEP = nullptr;
    QSpinBox* SE_ASCIILen = nullptr;
    QComboBox* CB_ASCIIFILL = nullptr;
    QPlainTextEdit* M_ASCII = nullptr;

    QWidget* TS_CoordinatesASCII = nullptr;
    QCheckBox* CB_AsciiCooHeader = nullptr;
    QCheckBox* CB_AsciiCooIncludePath = nullptr;
    QCheckBox* CB_AsciiCooIndex = nullptr;
    QCheckBox* CB_AsciiCooMP = nullptr;
    QComboBox* CB_CooSep = nullptr;
    QPlainTextEdit* M_CooASCII = nullptr;

    // ---- handlers ----
    void FormShow(); // fills the series tree and opens the first page
    void B_ContinueClick();
    void B_BackClick();
    void B_CancelClick();
    void E_KeycodeChange();

    // Each writer empties its memo and appends the text of every checked path in tree order.
    void CreateFH();
    void CreateTucson();
    void CreateASCII();
    void CreateCoordinatesASCII();

    // The checked paths in tree order.
    QList<TPath*> CheckedPaths() const;
    // The memo's lines as they are saved: a line break at the very end adds no empty line.
    static QStringList MemoLines(const QPlainTextEdit* memo);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createHeader();
    void createPages();
    void createButtons();
    void connectComponents();
    void pageChanged();
    QString seriesText(const TPath* path) const;
    // Asks for the file and writes the memo. Closes the wizard once it is written; a cancelled
    // dialog or a failed write (error box) leaves it open.
    void saveMemo(const QPlainTextEdit* memo, const QString& title, const QString& defaultExt, const QString& filter);

    QButtonGroup* m_formats = nullptr;
};

// The one export wizard, created at start-up; none before that.
extern TF_Export* F_Export;
