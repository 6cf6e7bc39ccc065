// Opening .jex4 and .jex project files with this program from the desktop: a shared-mime-info
// package names the two file types and a desktop entry offers the program for them, both in the
// user's data folder ($XDG_DATA_HOME).
#pragma once

#include <QString>

// MIME types of the current and the older project file.
inline constexpr const char* Jex4ProjectMimeType = "application/x-jex4-project";
inline constexpr const char* JexProjectMimeType = "application/x-jex-project";

// Where the two files go.
QString FileAssociationMimePackagePath(); // .../mime/packages/jex4-project-files.xml
QString FileAssociationDesktopFilePath(); // .../applications/jex4.desktop

// True when both file types and the program's desktop entry for them are in place.
bool FileAssociationsRegistered();

// Writes the mime package and the desktop entry (replacing earlier ones) for `programPath`, or for
// the running program when it is empty, then lets the desktop's databases know (update-mime-database,
// update-desktop-database, xdg-mime default; each only when installed). Returns false when a file
// could not be written or the program path cannot stand in a desktop entry (control characters).
bool RegisterFileAssociations(const QString& programPath = QString());

// The Exec value of the desktop entry: the program in double quotes and the file to open.
// Empty when the path holds control characters.
QString DesktopExecLine(const QString& programPath);
