#include "app/CommandUi.h"

#include <QAction>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QShortcut>
#include <QToolBar>

namespace app {
namespace {

// How often the toolbar's buttons look at their commands' state.
constexpr int kToolbarRefreshMs = 100;

// Commands whose menu items carry a check mark.
bool Checkable(int id)
{
    switch (id) {
    case ID_VIEW_TOPMOST:
    case ID_VOLUME_MUTE:
    case ID_AUTO_REPLAY:
    case ID_VIEW_SCROLL:
    case ID_VIEW_SCROLLBAR:
    case ID_FULL_SCREEN:
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR:
    case ID_SUBTITLE_OFF:
        return true;
    default:
        return ui::RangeOf(id) != nullptr;  // the track chosen
    }
}

}  // namespace

CommandUi::CommandUi(QMainWindow* window, Route route, RecentFiller recent)
    : QObject(window), m_window(window), m_route(std::move(route)), m_recent(std::move(recent))
{
    for (const ui::Command& c : ui::Commands()) MakeAction(c.id);
    for (const ui::CommandRange& range : ui::CommandRanges())
        for (int id = range.first + 1; id <= range.last; ++id) MakeAction(id);
    m_idle.setInterval(kToolbarRefreshMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (!m_toolBar) return;
        for (QAction* action : m_toolBar->actions())
            if (!action->isSeparator()) Refresh(action);
    });
    m_idle.start();
}

QAction* CommandUi::MakeAction(int id)
{
    auto* action = new QAction(ui::MenuText(id), this);
    action->setData(id);
    action->setCheckable(Checkable(id));
    action->setToolTip(ui::Tooltip(id));
    // The status bar has no message pane: prompts are never shown there.
    action->setStatusTip(QString());
    connect(action, &QAction::triggered, this, [this, id] { Execute(id); });
    m_actions[id] = action;
    return action;
}

QAction* CommandUi::Action(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CommandUi::Execute(int id)
{
    view::CommandState state;
    if (!m_route(id, &state) || !state.enabled) return;
    m_route(id, nullptr);
}

void CommandUi::Refresh(QAction* action)
{
    const int id = action->data().toInt();
    view::CommandState state;
    const bool handled = m_route(id, &state);
    action->setEnabled(handled && state.enabled);
    if (action->isCheckable()) action->setChecked(state.checked);
    if (const ui::CommandRange* range = ui::RangeOf(id)) {
        // A list shows the entries the route has; its first id stands,
        // grayed with its own text, for an empty one.
        action->setVisible(handled || id == range->first);
        action->setText(handled && !state.text.isEmpty() ? state.text : ui::MenuText(id));
    } else if (!state.text.isEmpty()) {
        action->setText(state.text);
    }
}

void CommandUi::RefreshMenu(QMenu* menu)
{
    if (m_recentPlaceholder && menu->actions().contains(m_recentPlaceholder)) m_recent(menu, m_recentPlaceholder);
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && !action->menu() && action->data().isValid()) Refresh(action);
}

void CommandUi::Fill(QMenu* menu, const std::vector<ui::MenuItem>& items, bool posted)
{
    for (const ui::MenuItem& item : items) {
        switch (item.kind) {
        case ui::MenuItem::Separator:
            menu->addSeparator();
            break;
        case ui::MenuItem::Popup:
            Fill(menu->addMenu(QString::fromUtf8(item.text)), item.children, posted);
            break;
        case ui::MenuItem::Item:
            if (item.id == ID_FILE_MRU_FILE1) {
                // Stands in for the recent files; they replace it as the menu opens.
                m_recentPlaceholder = Action(ID_FILE_MRU_FILE1);
                menu->addAction(m_recentPlaceholder);
            } else if (const ui::CommandRange* range = ui::RangeOf(item.id)) {
                // An item per entry the list may have; refreshing shows those it has.
                for (int id = range->first; id <= range->last; ++id)
                    menu->addAction(posted ? MakePostedAction(id, menu) : Action(id));
            } else if (posted) {
                menu->addAction(MakePostedAction(item.id, menu));
            } else {
                menu->addAction(Action(item.id));
            }
            break;
        }
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { RefreshMenu(menu); });
}

QAction* CommandUi::MakePostedAction(int id, QObject* parent)
{
    auto* action = new QAction(ui::MenuText(id), parent);
    action->setData(id);
    action->setCheckable(Checkable(id));
    // Carried out once the menu and the handler that opened it have
    // returned: the command may take away the window that handler belongs to
    // (leaving full screen does).
    connect(action, &QAction::triggered, this, [this, id] { QTimer::singleShot(0, this, [this, id] { Execute(id); }); });
    return action;
}

void CommandUi::BuildMenuBar()
{
    QMenuBar* bar = m_window->menuBar();
    for (const ui::MenuItem& popup : ui::MainMenu()) Fill(bar->addMenu(QString::fromUtf8(popup.text)), popup.children);
}

QToolBar* CommandUi::BuildToolBar()
{
    m_toolBar = new QToolBar(m_window);
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setIconSize(QSize(ui::kToolbarImageWidth, ui::kToolbarImageHeight));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const QImage strip(QString::fromLatin1(ui::kToolbarPicture));
    int image = 0;
    for (const int id : ui::ToolbarButtons()) {
        if (id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = Action(id);
        action->setIcon(QIcon(QPixmap::fromImage(strip.copy(image * ui::kToolbarImageWidth, 0,
                                                           ui::kToolbarImageWidth, ui::kToolbarImageHeight))));
        action->setIconVisibleInMenu(false);  // the menus show no pictures
        m_toolBar->addAction(action);
        ++image;
    }
    return m_toolBar;
}

void CommandUi::BindAccelerators(QWidget* window)
{
    for (const auto* table : {&ui::Accelerators(), &ui::PlayerKeys()}) {
        for (const ui::Accelerator& accelerator : *table) {
            auto* shortcut = new QShortcut(accelerator.keys, window);
            // Only while that window is the active one: a dialog, a message
            // box or an open menu has the keyboard to itself. A held key
            // repeats; the steps it makes replace one another (see the view).
            shortcut->setContext(Qt::WindowShortcut);
            const int id = accelerator.id;
            connect(shortcut, &QShortcut::activated, this, [this, id] { Execute(id); });
        }
    }
}

void CommandUi::ShowContextMenu(const QPoint& globalPos)
{
    QMenu menu(m_window);
    Fill(&menu, ui::ContextMenu().children, true);
    menu.exec(globalPos);
}

}  // namespace app
