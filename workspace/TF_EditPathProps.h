// The path properties dialog: name, visibility, comment and pith flag of one path.
#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TPath;

class TF_EditPathProps : public QDialog {
    Q_OBJECT
public:
    explicit TF_EditPathProps(QWidget* parent = nullptr);
    ~TF_EditPathProps() override;

    QGroupBox* GB_Properties = nullptr; // "Properties"
    QLineEdit* LE_Name = nullptr;       // labelled "Name"
    QCheckBox* CB_Visible = nullptr;
    QPlainTextEdit* M_Comment = nullptr; // labelled "Comment"
    QCheckBox* CB_Pith = nullptr;
    QPushButton* B_Ok = nullptr;
    QPushButton* B_Cancel = nullptr;

    // Shows the path's values in the controls, and writes them back (OK).
    void LoadFrom(const TPath& path);
    void StoreTo(TPath& path) const;
};
