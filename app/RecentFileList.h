#pragma once
// The four most recently opened movies, newest first, kept in the settings
// as "Recent File List"/"File1".."File4" and shown in the File menu as
// "&1 name" and so on.

#include <QByteArray>
#include <QString>
#include <vector>

namespace app {

class RecentFileList {
public:
    static constexpr int kSize = 4;
    // How long a menu entry's text may be; the file's name is always kept
    // whole.
    static constexpr int kDisplayLength = 30;

    void Load();
    // Puts the full path at the top, removing an equal entry; saved at once.
    void Add(const QByteArray& path);
    void Remove(int index);

    int Count() const { return static_cast<int>(m_paths.size()); }
    const QByteArray& Path(int index) const { return m_paths[static_cast<std::size_t>(index)]; }
    // "&1 name", for the menu.
    QString MenuText(int index) const;

    // The path shortened to `length` characters by leaving out whole folders
    // after the root, the name kept whole.
    static QString Abbreviate(const QString& path, int length);

private:
    void Save() const;
    std::vector<QByteArray> m_paths;
};

}  // namespace app
