// The measurement tree's rows: anchor line and anchor points, paths with their draw objects,
// index points and measurement points. Texts, icons, colours and check boxes are read live from
// the model objects; the image window it shows gives the current path and the resolution.
#pragma once

#include "workspace/ObjectTreeModel.h"

#include <QPointer>

#include <functional>

class TF_SMDI;

class MeasurementTreeModel : public ObjectTreeModel {
public:
    enum Column { ColName = 0, ColComment = 1, ColDistance = 2, ColCoordinates = 3, ColumnCount = 4 };

    explicit MeasurementTreeModel(QObject* parent = nullptr);

    // The window whose objects are shown; none makes every cell read-only.
    void setWindow(TF_SMDI* window) { m_window = window; }
    TF_SMDI* window() const { return m_window.data(); }

    // Slot of the image list shown in column 0: 0 path, 3 the window's current path, 1 index point,
    // 2 measurement point, 8 arrow, 7 rectangle, 11 anchor line, 12 anchor point; -1 none.
    int IconSlot(const TreeNode* node) const;
    static QIcon IL(int slot);

    // A box was ticked or cleared (path visible, anchor point active).
    std::function<void(TJEXObject*)> onChecked;
    // A cell was edited in place and its text stored.
    std::function<void(TJEXObject*, int column)> onEdited;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString cellText(const TreeNode* node, int column) const;
    bool isEditable(const TreeNode* node, int column) const;

    QPointer<TF_SMDI> m_window;
};
