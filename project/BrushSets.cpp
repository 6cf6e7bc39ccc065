// The writer is our own so the keys keep their order; QJsonDocument reads, and every value is
// checked for its kind and range before it reaches a preset.
#include "project/BrushSets.h"

#include "platform/TextFile.h"
#include "project/ErrorLog.h"
#include "project/Settings.h"
#include "project/TBrushSet.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

#include <cmath>
#include <limits>
#include <variant>

namespace {

const QString kTypeName = QStringLiteral("JEX4_Objects.TBrushSet");

using FieldRef = std::variant<QString TBrushSet::*, int TBrushSet::*, bool TBrushSet::*>;

struct Field {
    const char* Key;
    FieldRef Member;
};

// Declaration order of TBrushSet, which is the order of the keys in the file.
const Field kFields[] = {
    {"BName", &TBrushSet::BName},
    {"CadColor", &TBrushSet::CadColor},
    {"MColor", &TBrushSet::MColor},
    {"IColor", &TBrushSet::IColor},
    {"ILColor", &TBrushSet::ILColor},
    {"MLColor", &TBrushSet::MLColor},
    {"MSColor", &TBrushSet::MSColor},
    {"ISColor", &TBrushSet::ISColor},
    {"RALColor", &TBrushSet::RALColor},
    {"ISize", &TBrushSet::ISize},
    {"MSize", &TBrushSet::MSize},
    {"RALLength", &TBrushSet::RALLength},
    {"ILWidth", &TBrushSet::ILWidth},
    {"MWidth", &TBrushSet::MWidth},
    {"RALWidth", &TBrushSet::RALWidth},
    {"MCursor", &TBrushSet::MCursor},
    {"ICursor", &TBrushSet::ICursor},
    {"SCursor", &TBrushSet::SCursor},
    {"ScaleRAL", &TBrushSet::ScaleRAL},
    {"LVisible", &TBrushSet::LVisible},
    {"RALVisible", &TBrushSet::RALVisible},
    {"TVisible", &TBrushSet::TVisible},
    {"OVisible", &TBrushSet::OVisible},
    {"Current", &TBrushSet::Current},
};

QString jsonString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'"': out += QLatin1String("\\\""); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\b': out += QLatin1String("\\b"); break;
        case u'\f': out += QLatin1String("\\f"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default:
            if (u < 0x20 || u >= 0x7F)
                out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

bool toInt32(const QJsonValue& value, int& result)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::trunc(d) || d < std::numeric_limits<int>::min()
        || d > std::numeric_limits<int>::max())
        return false;
    result = static_cast<int>(d);
    return true;
}

} // namespace

QString BrushSetFileName()
{
    return DataFolder + QStringLiteral("/BrushSets");
}

QString BrushSetToJson(const TBrushSet& set)
{
    QString fields;
    for (const Field& f : kFields) {
        if (!fields.isEmpty())
            fields += QLatin1Char(',');
        fields += jsonString(QString::fromLatin1(f.Key)) + QLatin1Char(':');
        std::visit(
            [&](auto member) {
                const auto& value = set.*member;
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, QString>)
                    fields += jsonString(value);
                else if constexpr (std::is_same_v<T, bool>)
                    fields += value ? QLatin1String("true") : QLatin1String("false");
                else
                    fields += QString::number(value);
            },
            f.Member);
    }
    return QStringLiteral("{\"type\":") + jsonString(kTypeName) + QStringLiteral(",\"id\":1,\"fields\":{") + fields
        + QStringLiteral("}}");
}

std::unique_ptr<TBrushSet> BrushSetFromJson(const QString& line, QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::unique_ptr<TBrushSet>();
    };
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON: ") + error.errorString());
    if (!doc.isObject())
        return fail(QStringLiteral("not a JSON object"));
    const QJsonObject object = doc.object();
    if (object.value(QLatin1String("type")).toString() != kTypeName)
        return fail(QStringLiteral("not of type ") + kTypeName);
    const QJsonValue fieldsValue = object.value(QLatin1String("fields"));
    if (!fieldsValue.isObject())
        return fail(QStringLiteral("no \"fields\" object"));
    const QJsonObject fields = fieldsValue.toObject();

    auto set = std::make_unique<TBrushSet>();
    for (const Field& f : kFields) {
        const QJsonValue value = fields.value(QLatin1String(f.Key));
        if (value.isUndefined())
            continue;
        bool ok = true;
        std::visit(
            [&](auto member) {
                auto& target = (*set).*member;
                using T = std::decay_t<decltype(target)>;
                if constexpr (std::is_same_v<T, QString>) {
                    ok = value.isString();
                    target = value.toString();
                } else if constexpr (std::is_same_v<T, bool>) {
                    ok = value.isBool();
                    target = value.toBool();
                } else {
                    ok = toInt32(value, target);
                }
            },
            f.Member);
        if (!ok)
            return fail(QStringLiteral("field \"") + QLatin1String(f.Key) + QStringLiteral("\" has the wrong kind"));
    }
    return set;
}

void ApplyBrushSetToSettings(const TBrushSet& set)
{
    SettingCADColor = set.CadColor;
    SettingMColor = set.MColor;
    SettingMLColor = set.MLColor;
    SettingMSColor = set.MSColor;
    SettingIColor = set.IColor;
    SettingILColor = set.ILColor;
    SettingISColor = set.ISColor;
    SettingRALColor = set.RALColor;
    SettingISize = set.ISize;
    SettingMSize = set.MSize;
    SettingRALLength = set.RALLength;
    SettingILWidth = set.ILWidth;
    SettingMWidth = set.MWidth;
    SettingRALWidth = set.RALWidth;
    SettingScaleRAL = set.ScaleRAL;
    SettingMCursor = set.MCursor;
    SettingICursor = set.ICursor;
    SettingSCursor = set.SCursor;
    SettingLVisible = set.LVisible;
    SettingRALVisible = set.RALVisible;
    SettingOVisible = set.OVisible;
    SettingTVisible = set.TVisible;
}

int LoadBrushSets(const QString& FileName)
{
    if (!QFileInfo::exists(FileName))
        return -1;
    QStringList lines;
    QString error;
    if (readTextFile(FileName, lines, &error) != 0 || QFileInfo(FileName).isDir()) {
        ErrorLog::AddLog(0, QStringLiteral("Brush set file ") + FileName + QStringLiteral(" cannot be read: ") + error);
        return -1;
    }
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        QString why;
        std::unique_ptr<TBrushSet> set = BrushSetFromJson(lines[i], &why);
        if (!set) {
            ErrorLog::AddLog(3, QStringLiteral("Brush set file ") + FileName + QStringLiteral(": line ")
                                       + QString::number(i + 1) + QStringLiteral(" skipped, ") + why);
            continue;
        }
        for (const Field& f : kFields)
            if (const auto* member = std::get_if<int TBrushSet::*>(&f.Member)) {
                const QString note = RepairStoredSetting(QString::fromLatin1(f.Key), (*set).**member);
                if (!note.isEmpty())
                    ErrorLog::AddLog(3, QStringLiteral("Brush set file ") + FileName + QStringLiteral(": line ")
                                               + QString::number(i + 1) + QStringLiteral(", ") + note);
            }
        if (set->Current)
            CurrentBrushSet = set.get();
        BrushSetList.push_back(std::move(set));
    }
    return 0;
}

int SaveBrushSets(const QString& FileName)
{
    QStringList lines;
    for (const std::unique_ptr<TBrushSet>& set : BrushSetList) {
        set->Current = set.get() == CurrentBrushSet;
        lines << BrushSetToJson(*set);
    }
    QString error;
    if (writeTextFile(FileName, lines, &error) != 0) {
        ErrorLog::Error(QStringLiteral("Brush set file ") + FileName + QStringLiteral(" could not be written: ") + error,
                           false);
        return -1;
    }
    return 0;
}
