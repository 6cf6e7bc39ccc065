// The batch converter: scans a folder tree for older .jex projects and converts each into a
// .jex4 project beside it, keeping or deleting the sources. Made per use; the import, the writer
// and the folder scan do the work, the window lists, asks and counts.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QTreeView;
class TFindFile;
class TPageControlEx;

class TF_ConvertJEX3 : public QDialog {
    Q_OBJECT
public:
    explicit TF_ConvertJEX3(QWidget* parent = nullptr);
    ~TF_ConvertJEX3() override;

    // ---- components ----
    TPageControlEx* PCE = nullptr;

    QWidget* TS_1 = nullptr;
    QTreeView* VET = nullptr; // the folders and files of the computer
    QFileSystemModel* VETModel = nullptr;
    QCheckBox* CB_Recurse = nullptr;
    QPushButton* B_Cont1 = nullptr;

    QWidget* TS_2 = nullptr;
    QListWidget* LB_Files = nullptr;
    QMenu* PM = nullptr;
    QAction* PM_OpenFolder = nullptr;
    QAction* PM_DeleteFromList = nullptr;
    QAction* PM_DeleteFile = nullptr;
    QLabel* L_Count = nullptr;
    QRadioButton* RB_Keep = nullptr;
    QRadioButton* RB_Delete = nullptr;
    QPushButton* B_Convert = nullptr;
    QPushButton* B_Close = nullptr;

    TFindFile* FileFind = nullptr;

    // Appends the .jex entries of FileFind's list to LB_Files and counts LB_Files in L_Count.
    void FillList();
    void ClearList();
    // Scans the folder selected in VET, with the busy box up.
    void FindIt();
    // A path longer than `max` as its first max - 16 characters, "..." and its last 16.
    static QString AbbreviatePath(const QString& path, int max);
    // Opens the folder in the desktop's file manager.
    static void ExploreFolder(const QString& folder);

    // Selects a folder (or a file's folder) in VET and shows it.
    void SelectFolder(const QString& path);
    // The folder selected in VET (a selected file gives its folder); empty without a selection.
    QString SelectedFolder() const;

    void B_Cont1Click();
    void B_ConvertClick();
    void PM_OpenFolderClick();
    void PM_DeleteFromListClick();
    void PM_DeleteFileClick();

    int Converted() const { return m_converted; } // files converted by the last conversion

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void createFirstPage();
    void createSecondPage();
    void FileFindNewPath(const QString& newPath, bool& abort);
    // Imports one file and writes it beside itself. True when it counts as converted.
    bool convertOne(const QString& fileName);
    QString selectedEntry() const;

    bool m_busy = false;    // a scan or conversion runs: the window stays open
    int m_converted = 0;
};

// Imports one older project into a document of its own and writes it beside itself as .jex4;
// with `deleteSource` the older file goes once converted, unless only it names a missing image.
// A damaged file, an existing target and a failed write leave it as it was (said in the log or a
// box). True when it counts as converted.
bool ConvertJEX3File(const QString& fileName, bool deleteSource);
