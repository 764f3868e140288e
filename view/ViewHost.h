#pragma once
// What the player view asks of the application and its main window, which
// it reaches without knowing them: the status bar, the frame's size, the
// caption, the recent-file list, the settings store and the context menu.

#include <QByteArray>
#include <QPoint>
#include <QString>

namespace view {

class ViewHost {
public:
    virtual ~ViewHost() = default;
    // False while the application has no main window.
    virtual bool HasMainWindow() const = 0;
    // Status bar panes: 0 the state, 1 the counter's label, 2 the counter.
    virtual void SetPaneText(int pane, const QString& text) = 0;
    // Resizes the main frame so that the view's client area is width x height.
    virtual void FitClientToSize(int width, int height) = 0;
    virtual void SetCaption(const QString& caption) = 0;
    virtual void AddToRecentFileList(const QByteArray& path) = 0;
    virtual void WriteProfileInt(const char* section, const char* key, int value) = 0;
    virtual void WriteProfileString(const char* section, const char* key, const QString& value) = 0;
    // The player's context menu at a screen position, owned by the main frame.
    virtual void ShowContextMenu(const QPoint& globalPos) = 0;
};

}  // namespace view
