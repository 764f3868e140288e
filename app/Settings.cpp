#include "app/Settings.h"

#include <QSettings>

namespace app {
namespace {

QString Path(const char* section, const QString& key)
{
    return QString::fromLatin1(section) + QLatin1Char('/') + key;
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
