#pragma once
// What the engine's windows may ask of the application's main window
// without knowing it: post a command to it (handled after the current
// event, never inside it), show the player's context menu owned by it, so
// that the menu's commands and states take the main menu's route, and give
// a window of the engine's the player's keys.

#include <QPoint>

class QWidget;

namespace engine {

class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;
    virtual void PostCommand(int id) = 0;
    virtual void ShowContextMenu(const QPoint& globalPos) = 0;
    // The player's keys, acting while `window` is the active window.
    virtual void BindKeys(QWidget* window) = 0;
};

// The application registers its main window here; null while there is none.
MainWindowLink* GetMainWindowLink();
void SetMainWindowLink(MainWindowLink* link);

}  // namespace engine
