#pragma once
// The application: where the settings live, the main frame, the movie named
// on the command line, opening by path for the recent files, the command
// line and drops, the about box and exit. One per process, inside the
// QApplication.

#include <QByteArray>
#include <QObject>
#include <memory>

#include "app/RecentFileList.h"
#include "engine/MovieEngine.h"
#include "view/CommandTarget.h"

class QAction;
class QMenu;

namespace app {

class CMainFrame;
class DesktopIntegration;

class MoviePlayerApp : public QObject, public view::CommandTarget {
public:
    explicit MoviePlayerApp(engine::MovieEngine::Services services = engine::MovieEngine::DefaultServices());
    ~MoviePlayerApp() override;

    // Start-up: settings, recent files, the main frame shown, then the movie
    // of `commandLine` (the whole tail after the program's name, as one
    // path) when there is one. Always true.
    bool InitInstance(const QByteArray& commandLine);
    // True exactly when the movie was opened.
    bool OpenDocumentFile(const QByteArray& path);
    bool OnCmdMsg(int id, view::CommandState* state) override;

    CMainFrame* MainFrame() const { return m_mainFrame.get(); }
    RecentFileList& RecentFiles() { return m_recentFiles; }
    // Puts the recent files in place of `placeholder`, or the placeholder
    // itself, greyed, while there are none.
    void FillRecentFileMenu(QMenu* menu, QAction* placeholder);

    // The command-line tail: every argument after the program's name joined
    // by single spaces, as the bytes they were. A first "--" only ends the
    // options (main answers --help and --version): it is not part of it.
    static QByteArray CommandLineTail(int argc, char** argv);

private:
    void OnAppAbout();
    void OnRecentFile(int index);

    engine::MovieEngine::Services m_services;
    RecentFileList m_recentFiles;
    std::unique_ptr<CMainFrame> m_mainFrame;
    std::vector<QAction*> m_recentActions;
    std::unique_ptr<DesktopIntegration> m_desktop;  // null without a session bus
};

}  // namespace app
