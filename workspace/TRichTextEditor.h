// The rich-text editor of the project notes: a text area with a tool bar for font, size, colour,
// styles, alignment, bullets, pictures and links, and a popup for the clipboard and files. Its
// content goes in and out as RTF (platform/Rtf); notes it cannot read are kept as they were.
#pragma once

#include <QString>
#include <QTextCursor>
#include <QTextEdit>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QMenu;
class QSpinBox;
class QToolButton;
class TColorPickerButton;

// The text area: Ctrl and the wheel zoom, a click on a link opens it, the mouse brings the focus.
class TRichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* parent = nullptr);
    int zoomPercent() const { return m_zoom; }
    // The web address under a point of the viewport: a link's target, or an address written in
    // the text; empty for none.
    QString urlAt(QPoint viewportPos) const;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int m_zoom = 100;
};

class TRichTextEditor : public QWidget {
    Q_OBJECT
public:
    explicit TRichTextEditor(QWidget* parent = nullptr);

    QWidget* TopPanel = nullptr;
    QComboBox* CB_FontName = nullptr;
    QLineEdit* E_FontSize = nullptr;
    QSpinBox* UpDown = nullptr;
    TColorPickerButton* B_Color = nullptr;
    QToolButton* B_Italic = nullptr;
    QToolButton* B_Bold = nullptr;
    QToolButton* B_Underline = nullptr;
    QToolButton* B_Left = nullptr;
    QToolButton* B_Center = nullptr;
    QToolButton* B_Right = nullptr;
    QToolButton* B_Block = nullptr;
    QToolButton* B_Bullet = nullptr;
    QToolButton* B_Image = nullptr;
    QToolButton* B_Link = nullptr;
    TRichEdit* Editor = nullptr;
    QMenu* PM = nullptr;
    QAction* PM_Copy = nullptr;      // tag 1
    QAction* PM_Paste = nullptr;     // tag 2
    QAction* PM_SelectAll = nullptr; // tag 3
    QAction* PM_Clear = nullptr;     // tag 4
    QAction* PM_Load = nullptr;      // tag 5
    QAction* PM_Save = nullptr;      // tag 6
    QAction* PM_Print = nullptr;

    QString FontName;
    int FontSize = 10;
    int FontColor = 0; // $00BBGGRR
    bool fUpdating = false; // the tool bar follows the selection: its handlers write nothing back

    void Initialize(bool SetFocus);
    void GetFontNames();
    // The whole content as RTF; empty for an empty editor. Notes that could not be read come back
    // unchanged as long as nothing was typed.
    QString GetContent() const;
    // Empty clears; RTF is read; anything else shows as plain text. Marks nothing changed.
    void SetContent(const QString& s);
    void SelectFont(const QString& Name, int Size, int Color);
    // Inserts a .bmp or .jpg picture at the caret; other files are ignored. True when inserted.
    bool LoadImage(const QString& AFilename);
    // 0 done, -1 the file could not be read or written.
    int LoadFromFile(const QString& AFilename);
    int SaveToFile(const QString& AFilename);
    void Load();
    void Save();
    void Clear();
    // What the tool bar acts on: the selection, or else the word at the caret.
    QTextCursor CurrText() const;
    void SelectionChanged();
    void FormatButtonClick(QToolButton* button);
    void LinkButtonClick();
    void InsertImageClick();
    void UpdatePopupItems();
    void PopupItemClick(int tag);
    void PrintContent();

    bool ShowControls() const;
    void setShowControls(bool show);

signals:
    void OnContentChanged();

private:
    void mergeCurrent(const QTextCharFormat& format);
    void applySizeText();
    void ContentChanged();
    void tellWhatIsLost();

    bool m_loading = false;     // SetContent is filling the editor
    QString m_readContent;      // the notes as given, handed back unchanged until the user edits them
    QStringList m_lost;         // what the editor could not take of them, in the user's words
    bool m_lossTold = false;    // the user has heard of m_lost
};
