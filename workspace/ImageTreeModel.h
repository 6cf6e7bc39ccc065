// The image tree's rows: one root row for the image window, one row per image of its canvas.
#pragma once

#include "workspace/ObjectTreeModel.h"

class TF_SMDI;
class TStitchObject;

class ImageTreeModel : public ObjectTreeModel {
public:
    // Column 2 is shown leftmost, the tree in column 0.
    enum Column { ColName = 0, ColSize = 1, ColState = 2, ColumnCount = 3 };

    explicit ImageTreeModel(QObject* parent = nullptr);

    TF_SMDI* windowOf(const TreeNode* node) const; // the root row's window
    TStitchObject* imageOf(const TreeNode* node) const;

    // Slots of the image list for a node's column 0 and column 2 icons; -1 none.
    int IconSlot(const TreeNode* node) const;
    int StateIconSlot(const TreeNode* node) const;
    static QIcon IL_SO(int slot);
    // The hint of a row: the image's file, size and memory, or the project's file.
    QString Hint(const TreeNode* node) const;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};
