#include "app/Settings.h"

#include <QFile>
#include <QSettings>

#include <algorithm>

namespace app {
namespace {

QString Path(const char* section, const QString& key)
{
    return QString::fromLatin1(section) + QLatin1Char('/') + key;
}

// Whether the store's file holds anything the settings reader skips over:
// text that is not UTF-8, or lines that are neither "[section]", nor
// "key=value", nor comments. Writing would drop that for good.
bool Damaged(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    if (QString::fromUtf8(bytes).toUtf8() != bytes || bytes.contains('\0')) return true;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
        if (line.startsWith('[') && line.endsWith(']')) continue;
        if (line.indexOf('=') > 0) continue;
        return true;
    }
    return false;
}

// Before the first write of a run, a damaged store is copied aside as
// "<file>.damaged": what the reader skipped (a recent-file list it could
// not read, say) is kept, not overwritten.
void KeepDamagedAside(const QSettings& settings)
{
    static bool checked = false;
    static QString checkedFile;
    if (checked && checkedFile == settings.fileName()) return;
    checked = true;
    checkedFile = settings.fileName();
    if (!Damaged(checkedFile)) return;
    const QString aside = checkedFile + QStringLiteral(".damaged");
    QFile::remove(aside);
    QFile::copy(checkedFile, aside);
}

}  // namespace

QVariant GetProfileValue(const char* section, const QString& key)
{
    QSettings settings;
    return settings.value(Path(section, key));
}

int GetProfileInt(const char* section, const char* key, int defaultValue)
{
    const QVariant value = GetProfileValue(section, QString::fromLatin1(key));
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

QString GetProfileString(const TextSetting& setting)
{
    const QVariant value = GetProfileValue(setting.section, QString::fromLatin1(setting.key));
    return value.isValid() ? value.toString() : QString::fromLatin1(setting.defaultValue);
}

bool WriteProfileString(const char* section, const char* key, const QString& value)
{
    return WriteProfileValues(section, {{QString::fromLatin1(key), value}});
}

QStringList ReadLanguages(const TextSetting& setting)
{
    constexpr int kMaxLanguages = 4;
    QStringList languages;
    for (const QString& part : GetProfileString(setting).split(QLatin1Char(','))) {
        const QString code = part.trimmed().toLower();
        const bool letters = std::all_of(code.begin(), code.end(), [](QChar c) { return c >= u'a' && c <= u'z'; });
        if (code.size() >= 2 && code.size() <= 3 && letters && !languages.contains(code)) languages << code;
        if (languages.size() == kMaxLanguages) break;
    }
    return languages;
}

bool WriteProfileInt(const char* section, const char* key, int value)
{
    return WriteProfileValues(section, {{QString::fromLatin1(key), value}});
}

bool WriteProfileValues(const char* section, const QList<QPair<QString, QVariant>>& values)
{
    QSettings settings;
    // A store that could not be read is not overwritten: what it holds
    // (the recent files among it) would be lost.
    if (settings.status() != QSettings::NoError) return false;
    KeepDamagedAside(settings);
    for (const auto& [key, value] : values) {
        if (value.isValid())
            settings.setValue(Path(section, key), value);
        else
            settings.remove(Path(section, key));
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace app
