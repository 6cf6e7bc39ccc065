// One table binds every window value to its name, kind and default, so reading, writing and the
// defaults cannot drift apart; the settings variables come from the table in Settings.h.
#include "shell/SettingsStore.h"

#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "workspace/TF_SMDI.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_Notes.h"
#include "workspace/TRichTextEditor.h"
#include "workspace/TF_Tracker.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Zoom.h"
#include "workspace/ToolWindows.h"

#include <QColor>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <variant>
#include <vector>

namespace {

// Damaged: the store file could not be read as a whole when the settings were loaded; it is
// never written over, so what the user had there stays for repair.
enum class StoreState { NotLoaded, Loaded, Damaged, Reset };
StoreState g_state = StoreState::NotLoaded;
bool g_saveFailureTold = false; // a store that cannot be written is reported once a run

// ---- the registry with defaults ----

void logDamaged(const QString& key, const QString& reason)
{
    TF_ErrorLog::AddLog(0, QStringLiteral("Setting \"") + key + QStringLiteral("\" is damaged and gets its default value (")
                               + reason + QLatin1Char(')'));
}

} // namespace

template <class T, class Read>
T TExtRegistry::readOr(const QString& Key, const T& Default, Read read)
{
    if (!ValueExists(Key))
        return Default;
    try {
        return read();
    } catch (const ERegistryException& e) {
        ++m_damaged;
        logDamaged(Key, e.message());
        return Default;
    }
}

int TExtRegistry::ReadInteger(const QString& Key, int Default)
{
    return readOr(Key, Default, [&] { return Registry::ReadInteger(Key); });
}

QString TExtRegistry::ReadString(const QString& Key, const QString& Default)
{
    return readOr(Key, Default, [&] { return Registry::ReadString(Key); });
}

bool TExtRegistry::ReadBool(const QString& Key, bool Default)
{
    return readOr(Key, Default, [&] { return Registry::ReadBool(Key); });
}

double TExtRegistry::ReadFloat(const QString& Key, double Default)
{
    return readOr(Key, Default, [&] { return Registry::ReadFloat(Key); });
}

// ---- placements ----

namespace {

// The window that stands where the form is placed: the dock widget a floating form sits in, or
// the form itself.
QWidget* placedWindow(QWidget* form)
{
    QDockWidget* dock = CarrierOf(form);
    return dock && dock->isFloating() ? dock : form;
}

} // namespace

void ApplyPlacement(QWidget* form, const FormPlacement& placement)
{
    if (!form)
        return;
    // A docked window sits where its dock puts it; only its size carries over.
    QWidget* window = placedWindow(form);
    if (window->isWindow())
        window->move(placement.Left, placement.Top);
    window->resize(placement.Width, placement.Height);
}

void TakePlacement(const QWidget* form, FormPlacement& placement)
{
    if (!form)
        return;
    // Inside a dock the position is the dock's; the last free-standing one is kept.
    const QWidget* window = placedWindow(const_cast<QWidget*>(form));
    if (window->isWindow()) {
        placement.Top = window->pos().y();
        placement.Left = window->pos().x();
    }
    placement.Width = window->width();
    placement.Height = window->height();
}

DockRect DockRectOf(const QRect& bounds)
{
    if (bounds.isEmpty())
        return DockRect{};
    return DockRect{bounds.left(), bounds.top(), bounds.left() + bounds.width(), bounds.top() + bounds.height()};
}

StoredWindowValues::StoredWindowValues()
{
    // Drive roots in the stored defaults stand for the user's own folder here.
    ICEInitialDir = QDir::homePath();
    FileManager.SelectedPath = QDir::homePath();
    Measurement.Placement = {300, 300, 250, 180};
    Measurement.Dock = {0, 0, 250, 180};
    Zoom.Placement = {100, 100, 100, 100};
    BirdView.Placement = {150, 150, 200, 100};
    FileManager.Placement = {150, 150, 200, 100};
    FileManager.Dock = {20, 20, 20, 20};
    Tracker.Placement = {250, 250, 400, 250};
    Histogram.Placement = {300, 100, 0, 300}; // its width is written, never read
}

StoredWindowValues& WindowValues()
{
    static StoredWindowValues values;
    return values;
}

namespace {

// ---- the table of window values ----

enum class Access {
    ReadWrite,
    ReadOnly,  // read, never written: the stored value stays as the user left it
    WriteOnly, // written only while its window exists: without one nothing true is known
};

using Target = std::variant<int*, bool*, QString*>;
using Value = std::variant<int, bool, QString>;

struct StoreEntry {
    QString Name;
    Target Field;
    Value Default;
    Access Mode = Access::ReadWrite;
    const QPointer<QWidget>* Window = nullptr; // WriteOnly: the window that must exist
    SettingRange Range;                        // integers: what they may hold
};

// Window positions and sizes as the window system holds them: 16 bits.
constexpr SettingRange kPosition{-32768, 32767, true};
constexpr SettingRange kSize{0, 32767, true};
constexpr SettingRange sized(int min, int max) { return SettingRange{min, max, true}; }

class EntryList {
public:
    EntryList(StoredWindowValues& values, const StoredWindowValues& defaults)
        : v(values)
        , d(defaults)
    {
    }

    template <class T>
    void add(const QString& name, T& field, const T& def, Access mode = Access::ReadWrite,
             const QPointer<QWidget>* window = nullptr)
    {
        StoreEntry e;
        e.Name = name;
        e.Field = &field;
        e.Default = def;
        e.Mode = mode;
        e.Window = window;
        list.push_back(std::move(e));
    }
    // Every stored integer has a range.
    void add(const QString& name, int& field, int def, const SettingRange& range, Access mode = Access::ReadWrite,
             const QPointer<QWidget>* window = nullptr)
    {
        add<int>(name, field, def, mode, window);
        list.back().Range = range;
    }
    void add(const QString& name, int& field, int def, Access mode = Access::ReadWrite,
             const QPointer<QWidget>* window = nullptr) = delete;

    // "_X" is the top edge and "_Y" the left one.
    void placement(const QString& prefix, FormPlacement& p, const FormPlacement& dp, const QString& heightName = {})
    {
        add(prefix + QStringLiteral("_X"), p.Top, dp.Top, kPosition);
        add(prefix + QStringLiteral("_Y"), p.Left, dp.Left, kPosition);
        add(prefix + QStringLiteral("_Width"), p.Width, dp.Width, kSize);
        add(heightName.isEmpty() ? prefix + QStringLiteral("_Height") : heightName, p.Height, dp.Height, kSize);
    }

    void dock(const QString& prefix, DockRect& r, const DockRect& dr, Access mode = Access::ReadWrite,
              const QPointer<QWidget>* window = nullptr)
    {
        add(prefix + QStringLiteral("_D1"), r.Left, dr.Left, kPosition, mode, window);
        add(prefix + QStringLiteral("_D2"), r.Top, dr.Top, kPosition, mode, window);
        add(prefix + QStringLiteral("_D3"), r.Right, dr.Right, kPosition, mode, window);
        add(prefix + QStringLiteral("_D4"), r.Bottom, dr.Bottom, kPosition, mode, window);
    }

    StoredWindowValues& v;
    const StoredWindowValues& d;
    std::vector<StoreEntry> list;
};

// Every window value but the notes window's placement and docking, which depend on each other
// and on the window.
std::vector<StoreEntry> windowEntries(StoredWindowValues& v)
{
    static const StoredWindowValues defaults;
    const StoredWindowValues& d = defaults;
    EntryList t(v, d);
    const auto wo = Access::WriteOnly;
    const auto ro = Access::ReadOnly;

    t.add(QStringLiteral("RAXO4IP"), v.LinkAddress, d.LinkAddress);
    t.add(QStringLiteral("RAXO4TCP"), v.LinkPort, d.LinkPort, SettingRange{1, 65535, false});
    t.placement(QStringLiteral("MainForm"), v.MainForm, d.MainForm);

    auto& m = v.Measurement;
    t.placement(QStringLiteral("MeasurementForm"), m.Placement, d.Measurement.Placement);
    t.add(QStringLiteral("MeasurementForm_VSTSOHeight"), m.VSTSOHeight, d.Measurement.VSTSOHeight, kSize);
    t.dock(QStringLiteral("MeasurementForm"), m.Dock, d.Measurement.Dock);
    for (int i = 0; i < 3; ++i)
        t.add(QStringLiteral("MeasurementForm_Col%1Visible").arg(i + 1), m.ColVisible[size_t(i)], d.Measurement.ColVisible[size_t(i)]);
    t.add(QStringLiteral("MeasurementForm_Visible"), m.Visible, d.Measurement.Visible, wo, &m.Form);
    t.add(QStringLiteral("MeasurementForm_Docked"), m.Docked, d.Measurement.Docked, wo, &m.Form);

    auto& z = v.Zoom;
    t.placement(QStringLiteral("ZoomForm"), z.Placement, d.Zoom.Placement);
    t.add(QStringLiteral("ZoomForm_CrossHairColor"), z.CrossHairColor, d.Zoom.CrossHairColor, ColourRange);
    t.add(QStringLiteral("ZoomForm_DisplayCrossHairs"), z.DisplayCrossHairs, d.Zoom.DisplayCrossHairs);
    t.add(QStringLiteral("ZoomFormVisible"), z.Visible, d.Zoom.Visible);
    t.add(QStringLiteral("ZoomForm_Docked"), z.Docked, d.Zoom.Docked, wo, &z.Form);
    t.dock(QStringLiteral("ZoomForm"), z.Dock, d.Zoom.Dock, wo, &z.Form);

    auto& n = v.Notes;
    t.add(QStringLiteral("EditNotesFontName"), n.FontName, d.Notes.FontName);
    t.add(QStringLiteral("EditNotesFontSize"), n.FontSize, d.Notes.FontSize, sized(1, 1000));
    t.add(QStringLiteral("EditNotesFontColor"), n.FontColor, d.Notes.FontColor, ColourRange);
    t.add(QStringLiteral("EditNotesVisible"), n.Visible, d.Notes.Visible);

    auto& b = v.BirdView;
    t.add(QStringLiteral("BirdviewFormVisible"), b.Visible, d.BirdView.Visible);
    t.placement(QStringLiteral("BirdviewForm"), b.Placement, d.BirdView.Placement);
    t.add(QStringLiteral("BirdviewForm_Thumbnailcolor"), b.Thumbnailcolor, d.BirdView.Thumbnailcolor, ColourRange);
    t.add(QStringLiteral("BirdviewForm_HighlightArea"), b.HighlightArea, d.BirdView.HighlightArea);
    t.add(QStringLiteral("BirdViewForm_Docked"), b.Docked, d.BirdView.Docked, wo, &b.Form);
    t.dock(QStringLiteral("BirdviewForm"), b.Dock, d.BirdView.Dock, wo, &b.Form);

    auto& f = v.FileManager;
    t.placement(QStringLiteral("FileManagerForm"), f.Placement, d.FileManager.Placement);
    t.add(QStringLiteral("FileManagerFilenameWidth"), f.FilenameWidth, d.FileManager.FilenameWidth, kSize, ro);
    t.add(QStringLiteral("FileManagerForm_SelectedPath"), f.SelectedPath, d.FileManager.SelectedPath);
    t.dock(QStringLiteral("FileManagerForm"), f.Dock, d.FileManager.Dock);
    t.add(QStringLiteral("FileManagerFormVisible"), f.Visible, d.FileManager.Visible, wo, &f.Form);
    t.add(QStringLiteral("FileManagerForm_Docked"), f.Docked, d.FileManager.Docked, wo, &f.Form);

    auto& k = v.Tracker;
    t.add(QStringLiteral("TrackerFormVisible"), k.Visible, d.Tracker.Visible);
    t.placement(QStringLiteral("TrackerForm"), k.Placement, d.Tracker.Placement, QStringLiteral("TrackerFormForm_Height"));
    t.add(QStringLiteral("TrackerHMin"), k.HMin, d.Tracker.HMin, sized(0, 255), ro);
    t.add(QStringLiteral("TrackerHMax"), k.HMax, d.Tracker.HMax, sized(1, 1000), ro);
    t.add(QStringLiteral("TrackerFormVZoom"), k.VZoom, d.Tracker.VZoom, sized(1, 1000));
    t.add(QStringLiteral("TrackerFormHZoom"), k.HZoom, d.Tracker.HZoom, sized(0, 1500));
    t.add(QStringLiteral("TrackerFormVShift"), k.VShift, d.Tracker.VShift, sized(0, 255));
    t.add(QStringLiteral("TrackerFormLog"), k.Log, d.Tracker.Log);
    t.add(QStringLiteral("TrackerFormDisplayCross"), k.DisplayCross, d.Tracker.DisplayCross);
    t.add(QStringLiteral("TrackerFromSmooth"), k.Smooth, d.Tracker.Smooth, sized(0, 255));

    auto& h = v.Histogram;
    t.add(QStringLiteral("HistogramVisible"), h.Visible, d.Histogram.Visible);
    t.add(QStringLiteral("Histogram_X"), h.Placement.Top, d.Histogram.Placement.Top, kPosition);
    t.add(QStringLiteral("Histogram_Y"), h.Placement.Left, d.Histogram.Placement.Left, kPosition);
    t.add(QStringLiteral("Histogram_Height"), h.Placement.Height, d.Histogram.Placement.Height, kSize);
    t.add(QStringLiteral("Histogram_Width"), h.Placement.Width, d.Histogram.Placement.Width, kSize, wo, &h.Form);

    t.add(QStringLiteral("ICEInitialDir"), v.ICEInitialDir, d.ICEInitialDir);
    t.add(QStringLiteral("ClearClipboard"), v.ClearClipboard, d.ClearClipboard);
    t.add(QStringLiteral("DesktopColor"), v.DesktopColor, d.DesktopColor, ColourRange);
    t.add(QStringLiteral("CreateSeries_SelectedCamera"), v.SelectedCamera, d.SelectedCamera, SettingRange{-1, 3, false});
    return std::move(t.list);
}

// A stored integer, repaired into its range with a line in the log.
int readInRange(TExtRegistry& reg, const QString& name, int def, const SettingRange& range)
{
    int value = reg.ReadInteger(name, def);
    const QString note = RepairToRange(name, value, range, def);
    if (!note.isEmpty())
        TF_ErrorLog::AddLog(3, QStringLiteral("Setting ") + note);
    return value;
}

void readEntry(TExtRegistry& reg, const StoreEntry& e)
{
    std::visit(
        [&](auto* field) {
            using T = std::remove_pointer_t<decltype(field)>;
            const T& def = std::get<T>(e.Default);
            if constexpr (std::is_same_v<T, int>)
                *field = readInRange(reg, e.Name, def, e.Range);
            else if constexpr (std::is_same_v<T, bool>)
                *field = reg.ReadBool(e.Name, def);
            else
                *field = reg.ReadString(e.Name, def);
        },
        e.Field);
}

void writeEntry(Registry& reg, const StoreEntry& e)
{
    std::visit(
        [&](auto* field) {
            using T = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<T, int>)
                reg.WriteInteger(e.Name, *field);
            else if constexpr (std::is_same_v<T, bool>)
                reg.WriteBool(e.Name, *field);
            else
                reg.WriteString(e.Name, *field);
        },
        e.Field);
}

// Known only while the main window lives; kept as read otherwise.
const QString kDockLayout = QStringLiteral("MainForm_DockLayout");

const QString kNotesBounds[] = {QStringLiteral("EditNotesX1"), QStringLiteral("EditNotesY1"),
                                QStringLiteral("EditNotesX2"), QStringLiteral("EditNotesY2")};

// ---- the settings variables ----

void readVariables(TExtRegistry& reg)
{
    for (const SettingVariable& sv : SettingVariables()) {
        if (!sv.Absent)
            continue;
        const SettingValue& absent = *sv.Absent;
        std::visit(
            [&](auto* variable) {
                using T = std::remove_pointer_t<decltype(variable)>;
                const T& def = std::get<T>(absent);
                if constexpr (std::is_same_v<T, bool>)
                    *variable = reg.ReadBool(sv.Name, def);
                else if constexpr (std::is_same_v<T, int>)
                    *variable = sv.Range ? readInRange(reg, sv.Name, def, *sv.Range) : reg.ReadInteger(sv.Name, def);
                else if constexpr (std::is_same_v<T, QString>)
                    *variable = reg.ReadString(sv.Name, def);
                else
                    *variable = FileManagerExtensionsFromText(reg.ReadString(sv.Name, FileManagerExtensionsToText(def)));
            },
            sv.Variable);
    }
    // Every unit conversion divides by it.
    if (SettingStandardDPI <= 0) {
        TF_ErrorLog::AddLog(3, QStringLiteral("Stored standard resolution %1 dpi replaced by %2 dpi")
                                       .arg(SettingStandardDPI)
                                       .arg(DefaultStandardDPI));
        SettingStandardDPI = NormalizedStandardDPI(SettingStandardDPI);
    }
}

void writeVariables(Registry& reg)
{
    for (const SettingVariable& sv : SettingVariables()) {
        if (!sv.Absent)
            continue;
        std::visit(
            [&](auto* variable) {
                using T = std::remove_pointer_t<decltype(variable)>;
                if constexpr (std::is_same_v<T, bool>)
                    reg.WriteBool(sv.Name, *variable);
                else if constexpr (std::is_same_v<T, int>)
                    reg.WriteInteger(sv.Name, *variable);
                else if constexpr (std::is_same_v<T, QString>)
                    reg.WriteString(sv.Name, *variable);
                else
                    reg.WriteString(sv.Name, FileManagerExtensionsToText(*variable));
            },
            sv.Variable);
    }
}

// ---- windows ----

QColor colorOfTColor(int c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int tColorOf(const QColor& c)
{
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

void followLiveWindows(StoredWindowValues& v)
{
    if (F_Measurements)
        v.Measurement.Form = F_Measurements;
    if (F_Zoom)
        v.Zoom.Form = F_Zoom.data();
    if (F_BirdView)
        v.BirdView.Form = F_BirdView.data();
    if (F_Histogram)
        v.Histogram.Form = F_Histogram.data();
    if (F_Tracker)
        v.Tracker.Form = F_Tracker.data();
    if (F_Notes)
        v.Notes.Form = F_Notes.data();
}

void hideForm(QWidget* form)
{
    if (F_Main && F_Main->P_Dock->dockWidgetOf(form))
        F_Main->P_Dock->showForm(form, false);
    else
        form->hide();
}

// Places the windows that exist; the left dock site stays hidden for the main window to show.
void applyToWindows(StoredWindowValues& v)
{
    int dockWidth = 0;
    if (F_Main) {
        ApplyPlacement(F_Main, v.MainForm);
        F_Main->mdiArea()->setBackground(colorOfTColor(v.DesktopColor));
        F_Main->P_Dock->setVisible(false);
    }

    if (TF_Measurements* m = F_Measurements) {
        hideForm(m);
        m->VST_SO->resize(m->VST_SO->width(), v.Measurement.VSTSOHeight);
        FormPlacement p = v.Measurement.Placement;
        if (F_Main && p.Width > F_Main->width() - 50)
            p.Width = F_Main->width() - 50;
        ApplyPlacement(m, p);
        if (F_Main) {
            dockWidth = qMax(dockWidth, m->width());
            F_Main->P_Dock->dock(m, true);
            hideForm(m);
        }
        const int columns[] = {MeasurementTreeModel::ColComment, MeasurementTreeModel::ColDistance,
                               MeasurementTreeModel::ColCoordinates};
        for (size_t i = 0; i < 3; ++i)
            m->VST->setColumnHidden(columns[i], !v.Measurement.ColVisible[i]);
    }

    if (QWidget* fm = v.FileManager.Form) {
        hideForm(fm);
        ApplyPlacement(fm, v.FileManager.Placement);
        if (F_Main) {
            dockWidth = qMax(dockWidth, fm->width());
            F_Main->P_Dock->dock(fm, true);
            hideForm(fm);
        }
    }
    if (F_Main && dockWidth > 0)
        F_Main->P_Dock->setWidth(dockWidth);

    // The histogram starts empty; shown, it counts the active window.
    if (TF_Histogram* histogram = F_Histogram)
        histogram->UpdateHistogram(nullptr);
    for (ToolWindowValues* w : {static_cast<ToolWindowValues*>(&v.Zoom), static_cast<ToolWindowValues*>(&v.BirdView),
                                static_cast<ToolWindowValues*>(&v.Tracker), &v.Histogram}) {
        if (!w->Form)
            continue;
        FormPlacement p = w->Placement;
        if (w == &v.Histogram)
            p.Width = w->Form->width();
        ApplyPlacement(w->Form, p);
        ShowToolWindow(w->Form, w->Visible);
    }
    if (TF_Zoom* zoom = F_Zoom) {
        zoom->crosshaircolor = v.Zoom.CrossHairColor;
        zoom->drawcrosshairs = v.Zoom.DisplayCrossHairs;
    }
    if (TF_BirdView* bird = F_BirdView) {
        bird->Thumbnailcolor = v.BirdView.Thumbnailcolor;
        bird->BirdHighLight = v.BirdView.HighlightArea;
    }
    if (TF_Tracker* tracker = F_Tracker) {
        tracker->TB_Ver->setValue(v.Tracker.VZoom);
        tracker->TB_Hor->setValue(v.Tracker.HZoom);
        tracker->UD_Ordinate->setValue(v.Tracker.VShift);
        tracker->SB_Log->setChecked(v.Tracker.Log);
        tracker->SB_LogClick();
        tracker->SB_DisplayCross->setChecked(v.Tracker.DisplayCross);
        tracker->SE_Smooth->setValue(v.Tracker.Smooth);
        // The range read at start holds until the window is shown (its controls set it then).
        tracker->setLeftRange(v.Tracker.HMin, v.Tracker.HMax);
    }

    // The layout the user left, over the defaults above; one that does not fit is ignored.
    if (F_Main && !v.DockLayout.isEmpty())
        F_Main->restoreState(QByteArray::fromBase64(v.DockLayout.toLatin1()));

    if (TF_Notes* notes = F_Notes)
        notes->RTFEditor->SelectFont(v.Notes.FontName, v.Notes.FontSize, v.Notes.FontColor);
    if (QWidget* notes = v.Notes.Form) {
        if (v.Notes.PlacementKnown)
            notes->setGeometry(v.Notes.Placement.Left, v.Notes.Placement.Top, v.Notes.Placement.Width,
                               v.Notes.Placement.Height);
        if (v.Notes.Visible) {
            if (v.Notes.DockedAtBottom && F_Main && F_Main->DP_Bottom->dock(notes)) {
                F_Main->DP_Bottom->showForm(notes, true);
            } else {
                if (F_Main)
                    F_Main->DP_Bottom->undock(notes);
                notes->show();
            }
        }
    }
    // Whichever way the notes window ended up, Docked says it.
    if (TF_Notes* notes = F_Notes)
        notes->Docked = F_Main && F_Main->DP_Bottom->isDocked(notes);
}

bool isShown(const QWidget* w)
{
    return w && w->isVisible();
}

// Takes what the existing windows hold now.
void takeFromWindows(StoredWindowValues& v)
{
    if (F_Main) {
        TakePlacement(F_Main, v.MainForm);
        v.DesktopColor = tColorOf(F_Main->mdiArea()->background().color());
        v.DockLayout = QString::fromLatin1(F_Main->saveState().toBase64());
    }
    for (ToolWindowValues* w : {static_cast<ToolWindowValues*>(&v.Measurement), static_cast<ToolWindowValues*>(&v.Zoom),
                                static_cast<ToolWindowValues*>(&v.BirdView), static_cast<ToolWindowValues*>(&v.FileManager),
                                static_cast<ToolWindowValues*>(&v.Tracker), &v.Histogram}) {
        if (!w->Form)
            continue;
        TakePlacement(w->Form, w->Placement);
        w->Visible = isShown(w->Form);
        w->Docked = F_Main && F_Main->IsDocked(w->Form);
        w->Dock = F_Main ? DockRectOf(F_Main->GetDockPos(w->Form)) : DockRect{};
    }
    if (const TF_Zoom* zoom = F_Zoom) {
        v.Zoom.CrossHairColor = zoom->crosshaircolor;
        v.Zoom.DisplayCrossHairs = zoom->drawcrosshairs;
    }
    if (const TF_BirdView* bird = F_BirdView) {
        v.BirdView.Thumbnailcolor = bird->Thumbnailcolor;
        v.BirdView.HighlightArea = bird->BirdHighLight;
    }
    if (const TF_Tracker* tracker = F_Tracker) {
        v.Tracker.VZoom = tracker->TB_Ver->value();
        v.Tracker.HZoom = tracker->TB_Hor->value();
        v.Tracker.VShift = tracker->UD_Ordinate->value();
        v.Tracker.Log = tracker->SB_Log->isChecked();
        v.Tracker.DisplayCross = tracker->SB_DisplayCross->isChecked();
        v.Tracker.Smooth = tracker->SE_Smooth->value();
    }
    if (TF_Measurements* m = F_Measurements) {
        v.Measurement.VSTSOHeight = m->VST_SO->height();
        const int columns[] = {MeasurementTreeModel::ColComment, MeasurementTreeModel::ColDistance,
                               MeasurementTreeModel::ColCoordinates};
        for (size_t i = 0; i < 3; ++i)
            v.Measurement.ColVisible[i] = !m->VST->isColumnHidden(columns[i]);
    }
    if (QWidget* notes = v.Notes.Form) {
        const QRect g = notes->geometry();
        v.Notes.Placement = {g.top(), g.left(), g.width(), g.height()};
        v.Notes.PlacementKnown = true;
        v.Notes.Visible = isShown(notes);
    }
    if (F_Main)
        v.Notes.DockedAtBottom = !F_Main->DP_Bottom->clients().isEmpty();
    if (const TF_Notes* notes = F_Notes) {
        v.Notes.FontName = notes->RTFEditor->FontName;
        v.Notes.FontSize = notes->RTFEditor->FontSize;
        v.Notes.FontColor = notes->RTFEditor->FontColor;
    }
}

} // namespace

namespace {

// True when the store file exists but cannot be read as a whole (no access, or lines the format
// does not allow): the values read from it may be only some of the user's.
bool storeUnreadable(QString& why)
{
    const QString file = Registry::storeFileName();
    const QFileInfo info(file);
    if (!info.exists())
        return false;
    if (!info.isFile() || !info.isReadable()) {
        why = QStringLiteral("cannot be read");
        return true;
    }
    // QSettings shares what it has parsed among its instances and tells a format error only to
    // the one that parsed: a private copy is parsed afresh.
    QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    const QString copy = dir.filePath(QStringLiteral("probe.ini"));
    if (!QFile::copy(file, copy)) {
        why = QStringLiteral("cannot be read");
        return true;
    }
    QSettings probe(copy, QSettings::IniFormat);
    probe.allKeys();
    if (probe.status() != QSettings::NoError) {
        why = QStringLiteral("is damaged");
        return true;
    }
    return false;
}

} // namespace

void LoadSettings()
{
    StoredWindowValues& v = WindowValues();
    followLiveWindows(v);
    QString why;
    const bool unreadable = storeUnreadable(why);
    if (unreadable)
        TF_ErrorLog::AddLog(0, QStringLiteral("Settings store ") + Registry::storeFileName() + QLatin1Char(' ') + why
                                   + QStringLiteral("; the values it still gives are used, and it is not written over"));
    TExtRegistry reg;
    if (!reg.OpenKey(SettingsKey, true))
        TF_ErrorLog::AddLog(0, QStringLiteral("Settings store ") + Registry::storeFileName()
                                   + QStringLiteral(" cannot be opened; default settings used"));

    for (const StoreEntry& e : windowEntries(v))
        if (e.Mode != Access::WriteOnly)
            readEntry(reg, e);
    reg.ReadBool(QStringLiteral("FileManagerForm_Docked"), true); // the file manager always docks

    // The notes window's bounds: each absent one stays where the window is.
    NotesWindowValues& n = v.Notes;
    if (n.Form) {
        const QRect g = n.Form->geometry();
        n.Placement = {g.top(), g.left(), g.width(), g.height()};
    }
    int* bounds[] = {&n.Placement.Left, &n.Placement.Top, &n.Placement.Width, &n.Placement.Height};
    const SettingRange boundRanges[] = {kPosition, kPosition, kSize, kSize};
    bool allStored = true;
    for (int i = 0; i < 4; ++i) {
        allStored = allStored && reg.ValueExists(kNotesBounds[i]);
        *bounds[i] = readInRange(reg, kNotesBounds[i], *bounds[i], boundRanges[i]);
    }
    n.PlacementKnown = n.Form || allStored;
    // Used only when the notes window is visible, but kept either way.
    n.DockedAtBottom = reg.ReadBool(QStringLiteral("EditNotesDocked"), true);
    v.DockLayout = reg.ReadString(kDockLayout, QString());

    readVariables(reg);
    reg.CloseKey();
    g_state = unreadable ? StoreState::Damaged : StoreState::Loaded;
    applyToWindows(v);
}

void SaveSettings()
{
    if (g_state == StoreState::Reset)
        return;
    if (g_state == StoreState::NotLoaded) {
        TF_ErrorLog::AddLog(3, QStringLiteral("Settings were never loaded and are not saved"));
        return;
    }
    if (g_state == StoreState::Damaged) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Settings not saved: the settings store ") + Registry::storeFileName()
                                   + QStringLiteral(" could not be read at start and is left as it is"));
        return;
    }
    StoredWindowValues& v = WindowValues();
    followLiveWindows(v);
    takeFromWindows(v);
    Registry reg;
    if (!reg.OpenKey(SettingsKey, true)) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Settings store ") + Registry::storeFileName()
                                   + QStringLiteral(" cannot be opened; settings not saved"));
        return;
    }
    for (const StoreEntry& e : windowEntries(v)) {
        if (e.Mode == Access::ReadOnly || (e.Mode == Access::WriteOnly && !*e.Window))
            continue;
        writeEntry(reg, e);
    }
    const NotesWindowValues& n = v.Notes;
    if (n.PlacementKnown) {
        const int bounds[] = {n.Placement.Left, n.Placement.Top, n.Placement.Width, n.Placement.Height};
        for (int i = 0; i < 4; ++i)
            reg.WriteInteger(kNotesBounds[i], bounds[i]);
    }
    reg.WriteBool(QStringLiteral("EditNotesDocked"), n.DockedAtBottom);
    if (!v.DockLayout.isEmpty())
        reg.WriteString(kDockLayout, v.DockLayout);
    writeVariables(reg);
    if (!reg.CloseKey() && !g_saveFailureTold) {
        g_saveFailureTold = true;
        TF_ErrorLog::Error(QStringLiteral("The settings could not be saved: the settings store ") + Registry::storeFileName()
                               + QStringLiteral(" could not be written (is the disk full?). It keeps the settings it held."),
                           true);
    }
}

void ResetSettings()
{
    Registry reg;
    reg.DeleteKey(SettingsKey);
    g_state = StoreState::Reset;
}

bool SettingsResetPending()
{
    return g_state == StoreState::Reset;
}

bool SettingsLoaded()
{
    return g_state == StoreState::Loaded || g_state == StoreState::Damaged;
}

bool SettingsStoreWritable()
{
    return g_state != StoreState::Reset && g_state != StoreState::Damaged;
}

void ForgetSettingsStoreState()
{
    g_state = StoreState::NotLoaded;
    g_saveFailureTold = false;
}

int LoadCreateSeriesSettings(CreateSeriesValues& values)
{
    const CreateSeriesValues d;
    TExtRegistry reg;
    reg.OpenKey(SettingsKey, true);
    values.Placement.Top = readInRange(reg, QStringLiteral("CreateSeriesX"), d.Placement.Top, kPosition);
    values.Placement.Left = readInRange(reg, QStringLiteral("CreateSeriesY"), d.Placement.Left, kPosition);
    values.Placement.Width = readInRange(reg, QStringLiteral("CreateSeriesW"), d.Placement.Width, kSize);
    values.Placement.Height = readInRange(reg, QStringLiteral("CreateSeriesH"), d.Placement.Height, kSize);
    values.LastPath = reg.ReadString(QStringLiteral("CreateSeriesLastPath"), d.LastPath);
    if (values.LastPath.isEmpty() || !QFileInfo(values.LastPath).isDir())
        values.LastPath = DataFolder;
    values.CrossHairsColor = readInRange(reg, QStringLiteral("CreateSeries_CrossHairsColor"), d.CrossHairsColor, ColourRange);
    values.CrossHairsVisible = reg.ReadBool(QStringLiteral("CreateSeries_CrossHairsVisible"), d.CrossHairsVisible);
    return 0;
}

void SaveCreateSeriesSettings(const CreateSeriesValues& values)
{
    if (!SettingsStoreWritable())
        return;
    Registry reg;
    if (!reg.OpenKey(SettingsKey, true)) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Settings store ") + Registry::storeFileName()
                                   + QStringLiteral(" cannot be opened; series settings not saved"));
        return;
    }
    reg.WriteInteger(QStringLiteral("CreateSeriesX"), values.Placement.Top);
    reg.WriteInteger(QStringLiteral("CreateSeriesY"), values.Placement.Left);
    reg.WriteInteger(QStringLiteral("CreateSeriesW"), values.Placement.Width);
    reg.WriteInteger(QStringLiteral("CreateSeriesH"), values.Placement.Height);
    reg.WriteString(QStringLiteral("CreateSeriesLastPath"), values.LastPath);
    reg.WriteInteger(QStringLiteral("CreateSeries_CrossHairsColor"), values.CrossHairsColor);
    reg.WriteBool(QStringLiteral("CreateSeries_CrossHairsVisible"), values.CrossHairsVisible);
    reg.CloseKey();
}
