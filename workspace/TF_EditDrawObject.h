// The draw-object editor: one page for arrows, one for rectangles. Every change goes into the
// object at once and the object's window repaints; there is nothing to undo or cancel.
#pragma once

#include "project/TJEXObject.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPainter;
class QPushButton;
class QSpinBox;
class TColorPickerButton;
class TPageControlEx;

class TF_EditDrawObject : public QDialog {
    Q_OBJECT
public:
    explicit TF_EditDrawObject(QWidget* parent = nullptr);

    TPageControlEx* PCE = nullptr; // its tabs stay hidden; the object picks the page
    QWidget* TSS_Arrow = nullptr;
    QWidget* TSS_Rectangle = nullptr;

    QLineEdit* E_ArrowCaption = nullptr;
    QComboBox* CB_Base = nullptr; // item index = end type: 0 none, 1 dot, 2 bar, 3 arrow head
    QComboBox* CB_Tip = nullptr;
    QSpinBox* SE_BaseSize = nullptr; // 1..2000
    QSpinBox* SE_TipSize = nullptr;
    QSpinBox* SE_Width = nullptr; // 1..20
    TColorPickerButton* CPB_Color = nullptr;

    QSpinBox* SE_R_LineWidth = nullptr; // 1..20
    TColorPickerButton* CPB_R_PenColor = nullptr;
    TColorPickerButton* CPB_R_BrushColor = nullptr;
    QCheckBox* CB_R_Transparent = nullptr;

    QPushButton* B_Ok = nullptr;

    QList<QPixmap> IL_Tips; // one picture per end type
    int HelpContext = 0;

    // The object edited; whoever shows the editor sets it. It may be deleted while the editor is
    // open, and then the controls no longer reach it.
    ObjectRef<TDrawObject> ADO;

    // Sets the object and shows the editor on its page.
    void Edit(TDrawObject* object);

    void FormShow();
    void SE_WidthChange();        // every arrow-page control
    void SE_R_LineWidthChange();  // every rectangle-page control
    void CB_TipDrawItem(QPainter* painter, const QRect& rect, int index); // both lists
    void B_OkClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void repaintOwner();

    bool Updating = false; // set while FormShow fills the controls
};

// Created by the first edit of a draw object.
extern QPointer<TF_EditDrawObject> F_EditDrawObject;
// The editor, made when first needed.
TF_EditDrawObject* EditDrawObjectForm();
