#include "app/MoviePlayerApp.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

#include "app/AboutDialog.h"
#include "app/CommandUi.h"
#include "app/DesktopIntegration.h"
#include "app/MainFrame.h"
#include "app/Settings.h"
#include "resources/UiResources.h"

namespace app {

MoviePlayerApp::MoviePlayerApp(engine::MovieEngine::Services services) : m_services(std::move(services)) {}

MoviePlayerApp::~MoviePlayerApp()
{
    // It watches the frame: it goes first.
    m_desktop.reset();
}

QByteArray MoviePlayerApp::CommandLineTail(int argc, char** argv)
{
    const int first = argc > 1 && qstrcmp(argv[1], "--") == 0 ? 2 : 1;
    QByteArray tail;
    for (int i = first; i < argc; ++i) {
        if (i > first) tail += ' ';
        tail += argv[i];
    }
    return tail;
}

bool MoviePlayerApp::InitInstance(const QByteArray& commandLine)
{
    // The settings store: company "Ostra", application "Reelscope".
    QCoreApplication::setOrganizationName(QStringLiteral("Ostra"));
    QCoreApplication::setApplicationName(QString::fromLatin1(ui::kAppName));
    m_recentFiles.Load();

    m_mainFrame = std::make_unique<CMainFrame>(this, m_services);
    m_mainFrame->LoadFrame();
    m_mainFrame->show();
    m_mainFrame->setAcceptDrops(true);
    m_desktop = DesktopIntegration::Connect(*m_mainFrame);
    // Taken as one path, quotes and spaces included.
    if (!commandLine.isEmpty()) OpenDocumentFile(commandLine);
    return true;
}

bool MoviePlayerApp::OpenDocumentFile(const QByteArray& path)
{
    return m_mainFrame && m_mainFrame->View().OpenMovieFile(path) == 0;
}

bool MoviePlayerApp::OnCmdMsg(int id, view::CommandState* state)
{
    if (id == ID_APP_ABOUT) {
        if (!state) OnAppAbout();
        return true;
    }
    if (id == ID_APP_EXIT) {
        if (!state && m_mainFrame) m_mainFrame->close();
        return true;
    }
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) {
        const int index = id - ID_FILE_MRU_FILE1;
        if (state) state->Enable(index < m_recentFiles.Count());
        else OnRecentFile(index);
        return true;
    }
    return false;
}

void MoviePlayerApp::OnRecentFile(int index)
{
    if (index >= m_recentFiles.Count()) return;
    const QByteArray path = m_recentFiles.Path(index);
    // An entry that no longer opens leaves the list (the engine has told the
    // user why).
    if (!OpenDocumentFile(path)) m_recentFiles.Remove(index);
}

void MoviePlayerApp::FillRecentFileMenu(QMenu* menu, QAction* placeholder)
{
    for (QAction* action : m_recentActions) {
        menu->removeAction(action);
        delete action;
    }
    m_recentActions.clear();
    placeholder->setVisible(m_recentFiles.Count() == 0);
    placeholder->setEnabled(false);
    for (int i = 0; i < m_recentFiles.Count(); ++i) {
        auto* action = new QAction(m_recentFiles.MenuText(i), menu);
        action->setToolTip(ui::Prompt(ID_FILE_MRU_FILE1));
        const int id = ID_FILE_MRU_FILE1 + i;
        connect(action, &QAction::triggered, this, [this, id] {
            if (m_mainFrame) m_mainFrame->Commands().Execute(id);
        });
        menu->insertAction(placeholder, action);
        m_recentActions.push_back(action);
    }
}

void MoviePlayerApp::OnAppAbout()
{
    AboutDialog about(m_mainFrame.get());
    about.exec();
}

}  // namespace app
