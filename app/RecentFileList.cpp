#include "app/RecentFileList.h"

#include <QFile>
#include <QDir>

#include "app/Settings.h"

namespace app {
namespace {

QString Key(int index)
{
    return QString::fromLatin1(kRecentKey).arg(index + 1);
}

// Paths are bytes; one that is not UTF-8 is kept as bytes, so it comes back
// exactly as it went in.
QVariant Stored(const QByteArray& path)
{
    const QString text = QString::fromUtf8(path);
    if (text.toUtf8() == path) return text;
    return path;
}

// The path with "." and ".." worked out and repeated slashes folded, so one
// file is one entry however it was named. Done on the name alone: a
// symbolic link stays as the user named it.
QByteArray Clean(const QByteArray& absolute)
{
    QList<QByteArray> parts;
    for (const QByteArray& part : absolute.split('/')) {
        if (part.isEmpty() || part == ".") continue;
        if (part == "..") {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return '/' + parts.join('/');
}

QByteArray Loaded(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray) return value.toByteArray();
    return value.toString().toUtf8();
}

}  // namespace

void RecentFileList::Load()
{
    m_paths.clear();
    for (int i = 0; i < kSize; ++i) {
        const QByteArray path = Loaded(GetProfileValue(kRecentSection, Key(i)));
        if (!path.isEmpty()) m_paths.push_back(path);
    }
}

void RecentFileList::Save() const
{
    QList<QPair<QString, QVariant>> values;
    for (int i = 0; i < kSize; ++i)
        values.append({Key(i), i < Count() ? Stored(m_paths[static_cast<std::size_t>(i)]) : QVariant()});
    WriteProfileValues(kRecentSection, values);
}

void RecentFileList::Add(const QByteArray& path)
{
    // The full path, made from the bytes: a round trip through text would
    // lose a name that is not UTF-8.
    const QByteArray entry = Clean(path.startsWith('/') ? path : QFile::encodeName(QDir::currentPath()) + '/' + path);
    std::erase(m_paths, entry);
    m_paths.insert(m_paths.begin(), entry);
    if (Count() > kSize) m_paths.resize(kSize);
    Save();
}

void RecentFileList::Remove(int index)
{
    if (index < 0 || index >= Count()) return;
    m_paths.erase(m_paths.begin() + index);
    Save();
}

QString RecentFileList::Abbreviate(const QString& path, int length)
{
    if (path.size() <= length) return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const QString root = path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    // Leave out folders from the left until it fits.
    QString rest = path.mid(root.size(), slash + 1 - root.size());
    while (!rest.isEmpty()) {
        const qsizetype next = rest.indexOf(QLatin1Char('/'));
        rest = rest.mid(next + 1);
        const QString candidate = root + QStringLiteral(".../") + rest + name;
        if (candidate.size() <= length) return candidate;
    }
    return name;
}

QString RecentFileList::MenuText(int index) const
{
    QString shown = Abbreviate(QFile::decodeName(Path(index)), kDisplayLength);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));  // a literal ampersand in a menu
    return QStringLiteral("&%1 ").arg(index + 1) + shown;
}

}  // namespace app
