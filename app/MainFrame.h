#pragma once
// The program's only top-level window: menu bar, a movable toolbar, a
// status bar of three panes and, as its client, the player view. It loads
// the switches the view works with, stays on top on request, opens files
// dropped on it, offers every command to the view first, tells the engine
// when it moves, and resizes itself so the view gets a requested size.

#include <QMainWindow>
#include <functional>

#include "engine/MainWindowLink.h"
#include "view/PlayerView.h"
#include "view/ViewHost.h"

class QToolBar;

namespace app {

class CommandUi;
class StatusPanes;
class MoviePlayerApp;

class CMainFrame : public QMainWindow, public view::ViewHost, public engine::MainWindowLink {
public:
    // `app` is offered the commands neither the view nor the frame handles.
    CMainFrame(MoviePlayerApp* app, engine::MovieEngine::Services services);
    ~CMainFrame() override;

    // Creates the window: settings read, view, toolbar and status bar made.
    // False when a part could not be made.
    bool LoadFrame();

    bool OnCmdMsg(int id, view::CommandState* state);
    CommandUi& Commands() { return *m_commands; }
    view::PlayerView& View() { return m_wndView; }
    QStatusBar* GetStatusBar() { return statusBar(); }
    QString PaneText(int pane) const;
    QToolBar* ToolBar() const { return m_wndToolBar; }
    bool IsTopMost() const { return m_bTopMost; }

    // ViewHost
    bool HasMainWindow() const override { return true; }
    void SetPaneText(int pane, const QString& text) override;
    void FitClientToSize(int width, int height) override;
    void SetCaption(const QString& caption) override;
    // The caption as the user sees it (windowTitle() holds Qt's escapes).
    const QString& Caption() const { return m_caption; }
    // The view's notice of every movie it opens.
    void AddToRecentFileList(const QByteArray& path) override;
    // Called as soon as a movie has opened: the desktop's controls hand it
    // the volume they were given while none was open.
    void SetMovieOpenedHandler(std::function<void()> handler) { m_movieOpened = std::move(handler); }
    void WriteProfileInt(const char* section, const char* key, int value) override;
    void WriteProfileString(const char* section, const char* key, const QString& value) override;
    void ShowContextMenu(const QPoint& globalPos) override;

    // MainWindowLink
    void PostCommand(int id) override;
    void BindKeys(QWidget* window) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool PreCreateWindow();
    bool OnCreate();
    void OnTopMost();
    void ApplyTopMost();
    void FitOuterSize();

    MoviePlayerApp* m_app;
    bool m_bTopMost = false;
    view::PlayerView m_wndView;
    StatusPanes* m_panes = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    CommandUi* m_commands = nullptr;
    // The first size counts the window manager's frame in; settled once the
    // frame's margins are known, or once a movie has sized the window.
    bool m_bOuterSizeSettled = false;
    QString m_caption;
    std::function<void()> m_movieOpened;
};

}  // namespace app
