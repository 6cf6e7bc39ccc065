// The folder scan: lists the entries of a folder, or of a whole folder tree (breadth first), that
// match a file-name pattern with "*" and "?" and an attribute mask, and reports each folder it is
// about to list so that its owner can show progress and stop. Hides the directory listing.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The attributes of an entry. On this system: a folder is ffDirectory, a name starting with '.'
// is ffHidden, a file without the owner's write permission is ffReadOnly, a plain file is
// ffArchive, anything that is neither file nor folder (device, pipe, socket) is ffSystem;
// ffVolumeID never occurs.
enum TAttrOption : int {
    ffReadOnly = 1,
    ffHidden = 2,
    ffSystem = 4,
    ffVolumeID = 8,
    ffDirectory = 16,
    ffArchive = 32,
};
using TAttrOptions = int; // an OR of TAttrOption values

class TFindFile : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TFindFile* sender)>;
    // Called for every folder about to be listed; setting `abort` keeps that folder from being
    // listed and ends a tree scan after it.
    using TNewPathEvent = std::function<void(TFindFile* sender, const QString& newPath, bool& abort)>;

    explicit TFindFile(QObject* owner = nullptr);

    // Empties Files, then lists Directory (with Recurse, the tree below it). Does nothing but call
    // the two notifications when Directory is empty.
    void Execute();

    bool Recurse() const { return FRecurse; }
    void setRecurse(bool value) { FRecurse = value; }
    QString Directory() const { return FDirectory; }
    void setDirectory(const QString& value) { FDirectory = value; }
    QString Filter() const { return FFilter; }
    void setFilter(const QString& value) { FFilter = value; }
    // Full path of every listed entry, in listing order.
    const QStringList& Files() const { return FFiles; }
    QStringList& Files() { return FFiles; }
    void setFiles(const QStringList& value) { FFiles = value; }
    TAttrOptions Attributes() const { return FAttribs; }
    void setAttributes(TAttrOptions value) { FAttribs = value; }
    // The stop flag; Execute does not reset it.
    bool Abort() const { return FAbort; }
    void setAbort(bool value) { FAbort = value; }

    const TNotifyEvent& BeforeExecute() const { return FBeforeExecute; }
    void setBeforeExecute(TNotifyEvent handler) { FBeforeExecute = std::move(handler); }
    const TNotifyEvent& AfterExecute() const { return FAfterExecute; }
    void setAfterExecute(TNotifyEvent handler) { FAfterExecute = std::move(handler); }
    const TNewPathEvent& OnNewPath() const { return FOnNewPath; }
    void setOnNewPath(TNewPathEvent handler) { FOnNewPath = std::move(handler); }

    qint64 TotalSpace() const { return FTotalSpace; } // bytes of the listed entries; folders count 0
    int TotalDir() const { return FTotalDir; }        // listed entries that are exactly ffDirectory
    int TotalFile() const { return FTotalFile; }      // the other listed entries

    // The attributes of an existing entry, as above.
    static TAttrOptions EntryAttributes(const QString& path);
    // Whether the name matches the pattern as the platform's directory search of the older system
    // matches: letter case ignored, "*" any run, "?" one character, and a pattern ending in ".*"
    // also matches names without an extension ("*.*" matches every name).
    static bool MatchesPattern(const QString& pattern, const QString& name);

private:
    void folderScan(const QString& folder, TAttrOptions mask);
    void treeScan(const QString& start, TAttrOptions mask);
    QStringList listSubFolders(const QString& folder) const;

    bool FAbort = false;
    qint64 FTotalSpace = 0;
    int FTotalDir = 0;
    int FTotalFile = 0;
    TAttrOptions FAttribs = ffReadOnly | ffHidden | ffSystem | ffArchive;
    QString FDirectory;
    bool FRecurse = false;
    QString FFilter = QStringLiteral("*.*");
    QStringList FFiles;
    TNotifyEvent FBeforeExecute;
    TNotifyEvent FAfterExecute;
    TNewPathEvent FOnNewPath;
};
