// The notes window: the rich-text editor bound to the project of one image window. Binding
// another window stores the text back into the project it came from and loads the new one.
#pragma once

#include <QPointer>
#include <QWidget>

class TF_SMDI;
class TRichTextEditor;

class TF_Notes : public QWidget {
    Q_OBJECT
public:
    explicit TF_Notes(QWidget* parent = nullptr);

    TRichTextEditor* RTFEditor = nullptr;
    bool Docked = true;

    TF_SMDI* EditObject() const;
    void setEditObject(TF_SMDI* w) { BindEditObject(w); }
    // Stores the editor's text into the bound project and shows w's notes (below). While a project
    // file loads only the editor's enabling follows.
    void BindEditObject(TF_SMDI* w);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void contentChanged();
    void carrierFloated(bool floating) { Docked = !floating; }

    QPointer<TF_SMDI> fEditObject;
};

extern QPointer<TF_Notes> F_Notes;
