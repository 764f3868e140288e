#pragma once
// The one command table made into Qt: an action per command, the menu bar,
// the context menu, the toolbar and the accelerators, all triggering the
// same route. Each action's enabled and checked state comes from the route's
// update handlers: refreshed when a menu is about to show and, for the
// toolbar, on a short timer; a command is checked once more just before it
// is carried out, so a disabled one does nothing whatever sent it.

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

#include "resources/UiResources.h"
#include "view/CommandTarget.h"

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace app {

class CommandUi : public QObject {
public:
    using Route = std::function<bool(int id, view::CommandState* state)>;
    // Fills the recent-file part of a menu, where the placeholder item stands.
    using RecentFiller = std::function<void(QMenu* menu, QAction* placeholder)>;

    CommandUi(QMainWindow* window, Route route, RecentFiller recent);

    QAction* Action(int id) const;
    // Carries out `id` if the route handles it and it is enabled now.
    void Execute(int id);
    void Refresh(QAction* action);

    void BuildMenuBar();
    QToolBar* BuildToolBar();
    // The accelerators and the player's keys, acting while `window` (the
    // main window, or the full-screen window) is the active one.
    void BindAccelerators(QWidget* window);
    // The context menu, built anew each time it is shown.
    void ShowContextMenu(const QPoint& globalPos);

private:
    QAction* MakeAction(int id);
    // `posted`: the items carry their commands out after the menu has closed
    // (context menus), rather than at once through the shared actions.
    void Fill(QMenu* menu, const std::vector<ui::MenuItem>& items, bool posted = false);
    QAction* MakePostedAction(int id, QObject* parent);
    void RefreshMenu(QMenu* menu);

    QMainWindow* m_window;
    Route m_route;
    RecentFiller m_recent;
    std::map<int, QAction*> m_actions;
    QAction* m_recentPlaceholder = nullptr;
    QToolBar* m_toolBar = nullptr;
    QTimer m_idle;
};

}  // namespace app
