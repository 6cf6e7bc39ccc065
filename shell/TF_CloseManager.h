// The close-project dialog: shown before an image window closes. It tells whether the project is
// saved, lists the project's images with their state, saves the project or the selected images,
// and its result decides whether the window may close (Cancel keeps it).
#pragma once

#include <QDialog>
#include <QPointer>

class QGroupBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TF_SMDI;
class TStitchObject;

class TF_CloseManager : public QDialog {
    Q_OBJECT
public:
    explicit TF_CloseManager(QWidget* parent = nullptr);
    ~TF_CloseManager() override;

    // The window being closed; the caller sets it before each showing.
    QPointer<TF_SMDI> MDI;

    QGroupBox* GB_Project = nullptr;
    QLabel* I_Project = nullptr;       // 16 x 16 state picture
    QLabel* L_Projectstate = nullptr;
    QPushButton* BB_SaveProject = nullptr;
    QGroupBox* GB_Images = nullptr;
    QTreeWidget* VST_SO = nullptr;     // column 0 state picture, column 1 file name
    QPushButton* BB_SaveImages = nullptr;
    QPushButton* B_Ok = nullptr;       // result Accepted: the window may close
    QPushButton* B_Cancel = nullptr;   // result Rejected: the window stays

    // Rebuilds the project state and the image list for `f`; none clears them.
    void MakeReport(TF_SMDI* f);

    // The image a node holds; nullptr when it has left the window meanwhile.
    TStitchObject* GetNodeObject(const QTreeWidgetItem* node) const;
    QString VST_SOGetText(const QTreeWidgetItem* node, int column) const;
    int VST_SOGetImageIndex(const QTreeWidgetItem* node, int column) const; // -1: no picture

    void BB_SaveProjectClick();
    void BB_SaveImagesClick();
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetNodeObject(QTreeWidgetItem* node, TStitchObject* so);
    void repaintTree(); // texts and pictures from the images' current state
    void placeOverMainWindow();
};

// Made at start-up; clears itself when its owner takes it along.
extern QPointer<TF_CloseManager> F_CloseManager;
