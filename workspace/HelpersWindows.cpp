// The shared routines that look across the open image windows and their paths.
#include "workspace/HelpersWindows.h"

#include "platform/Delphi.h"
#include "platform/FileKey.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "shell/TF_Main.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

// The image windows, the active one first and the others down the stack.
QList<TF_SMDI*> imageWindows()
{
    QList<TF_SMDI*> windows;
    if (!F_Main || !F_Main->mdiArea())
        return windows;
    const QList<QMdiSubWindow*> stack = F_Main->mdiArea()->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stack.crbegin(); it != stack.crend(); ++it)
        if (auto* window = qobject_cast<TF_SMDI*>((*it)->widget()))
            windows.append(window);
    return windows;
}

} // namespace

bool PathNameExists(const TF_SMDI* window, const QString& name)
{
    if (!window)
        return false;
    for (const auto& path : window->PathList)
        if (SameText(path->Name, name))
            return true;
    return false;
}

TF_SMDI* FindProjectWindow(const QString& fileName)
{
    const QString wanted = fileKey(fileName);
    if (wanted.isEmpty())
        return nullptr;
    for (TF_SMDI* window : imageWindows())
        if (window->Project && fileKey(window->Project->Filename) == wanted)
            return window;
    return nullptr;
}

bool FindPathByGUID(const QString& guid, TF_SMDI*& window, TPath*& path)
{
    window = nullptr;
    path = nullptr;
    if (guid.isEmpty()) // paths without an identifier are not "the path with no identifier"
        return false;
    for (TF_SMDI* w : imageWindows())
        for (const auto& p : w->PathList)
            if (p->GUID == guid) {
                window = w;
                path = p.get();
                return true;
            }
    return false;
}

int CollectMeasurementData(const TPath& path, std::vector<std::unique_ptr<TMeasurementData>>& list)
{
    const TF_SMDI* owner = nullptr;
    for (const TF_SMDI* window : imageWindows())
        for (const auto& p : window->PathList)
            if (p.get() == &path)
                owner = window;
    if (owner) {
        const int dpi = owner->DPI;
        return CollectMeasurementData(path, list, [dpi](double pixels) { return PixelsToUnit(pixels, SettingUnits, dpi); });
    }
    if (F_Measurements)
        return CollectMeasurementData(path, list, [](double pixels) { return F_Measurements->GetDistance(pixels); });
    return CollectMeasurementData(path, list, [](double pixels) {
        return PixelsToUnit(pixels, SettingUnits, NormalizedStandardDPI(SettingStandardDPI));
    });
}
