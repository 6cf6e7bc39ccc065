// The name entry dialog: one line of text with a prompt, for a new path name and for brush-set
// names. Callers set Label1 and E_BrushName, show it modally and read E_BrushName after OK.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TF_EditBrushName : public QDialog {
    Q_OBJECT
public:
    explicit TF_EditBrushName(QWidget* parent = nullptr);
    ~TF_EditBrushName() override;

    QLabel* Label1 = nullptr;
    QLineEdit* E_BrushName = nullptr;
    QPushButton* B_Ok = nullptr;
    QPushButton* B_Cancel = nullptr;

    void FormShow();
    void E_BrushNameChange(); // OK only while the edit holds text

protected:
    void showEvent(QShowEvent* event) override;
};
