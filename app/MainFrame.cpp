#include "app/MainFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

#include "app/CommandUi.h"
#include "app/MoviePlayerApp.h"
#include "app/Settings.h"
#include "app/StatusPanes.h"

namespace app {
namespace {

// The frame starts at this outer size, at the system's default position.
constexpr int kInitialSize = 400;

// The first local file of a drop, or nothing.
QByteArray FirstDroppedPath(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty()) return {};
    const QUrl first = data->urls().first();
    return first.isLocalFile() ? QFile::encodeName(first.toLocalFile()) : QByteArray();
}

// The local subtitle files of a drop.
QList<QByteArray> DroppedSubtitles(const QMimeData* data)
{
    QList<QByteArray> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        const QByteArray path = url.isLocalFile() ? QFile::encodeName(url.toLocalFile()) : QByteArray();
        if (!path.isEmpty() && view::PlayerView::IsSubtitleFile(path)) files << path;
    }
    return files;
}

}  // namespace

CMainFrame::CMainFrame(MoviePlayerApp* app, engine::MovieEngine::Services services)
    : m_app(app), m_wndView(std::move(services))
{
}

CMainFrame::~CMainFrame()
{
    if (engine::GetMainWindowLink() == this) engine::SetMainWindowLink(nullptr);
}

bool CMainFrame::LoadFrame()
{
    if (!PreCreateWindow() || !OnCreate()) return false;
    engine::SetMainWindowLink(this);
    SetCaption(QString::fromLatin1(ui::kAppName));
    return true;
}

bool CMainFrame::PreCreateWindow()
{
    // The only context menu is the player's own: none of Qt's for the
    // toolbar and the menu bar.
    setContextMenuPolicy(Qt::NoContextMenu);
    m_bTopMost = ReadFlag(kTopMost);
    // A frame that starts top-most is created on top and taking drops.
    if (m_bTopMost) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        setAcceptDrops(true);
    }
    resize(kInitialSize, kInitialSize);
    setWindowIcon(QIcon(QString::fromLatin1(ui::kIconPicture)));
    return true;
}

bool CMainFrame::OnCreate()
{
    // The view's switches, read before its window exists.
    m_wndView.m_bShowTime = ReadFlag(kFrameTime);
    m_wndView.m_bAutoReplay = ReadFlag(kAutoReplay);
    m_wndView.m_bStrip = ReadFlag(kPreviewFlag);
    m_wndView.m_bScrollBar = ReadFlag(kScrollBar);
    m_wndView.m_bSubtitles = ReadFlag(kSubtitles);
    m_wndView.m_deinterlace = static_cast<media::Deinterlace>(ReadChoice(kDeinterlace, 3));
    m_wndView.m_soundLanguages = ReadLanguages(kSoundLanguages);
    m_wndView.m_subtitleLanguages = ReadLanguages(kSubtitleLanguages);

    // The view's pane: its sunken border, the view as its client area and
    // the seek bar along the bottom.
    auto* pane = new QFrame(this);
    pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(pane->frameWidth(), pane->frameWidth(), pane->frameWidth(), pane->frameWidth());
    layout->setSpacing(0);
    if (!m_wndView.Create(pane, this)) return false;
    layout->addWidget(&m_wndView, 1);
    layout->addWidget(m_wndView.ScrollBar());
    setCentralWidget(pane);

    m_commands = new CommandUi(
        this, [this](int id, view::CommandState* state) { return OnCmdMsg(id, state); },
        [this](QMenu* menu, QAction* placeholder) { m_app->FillRecentFileMenu(menu, placeholder); });
    m_commands->BuildMenuBar();
    m_wndToolBar = m_commands->BuildToolBar();
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    m_commands->BindAccelerators(this);

    // Pane 0 stretches and has no border; panes 1 and 2 are sunken. Each is
    // at least as wide as its template string.
    QStatusBar* bar = statusBar();
    bar->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    const char* const templates[StatusPanes::kCount] = {ui::kIndicatorState, ui::kIndicatorLabel,
                                                        ui::kIndicatorCounter};
    m_panes = new StatusPanes(templates, bar);
    bar->addWidget(m_panes, 1);
    SetPaneText(0, QString());
    SetPaneText(1, m_wndView.m_bShowTime ? QStringLiteral("Time") : QStringLiteral("Frame"));
    SetPaneText(2, QString());
    return true;
}

QString CMainFrame::PaneText(int pane) const
{
    const QLabel* label = m_panes ? m_panes->Pane(pane) : nullptr;
    return label ? label->text() : QString();
}

void CMainFrame::SetPaneText(int pane, const QString& text)
{
    if (QLabel* label = m_panes ? m_panes->Pane(pane) : nullptr) label->setText(text);
}

bool CMainFrame::OnCmdMsg(int id, view::CommandState* state)
{
    if (m_wndView.OnCmdMsg(id, state)) return true;
    switch (id) {
    case ID_VIEW_TOPMOST:
        if (state) state->SetCheck(m_bTopMost);
        else OnTopMost();
        return true;
    case ID_VIEW_TOOLBAR:
        if (state) state->SetCheck(m_wndToolBar->isVisible());
        else m_wndToolBar->setVisible(!m_wndToolBar->isVisible());
        return true;
    case ID_VIEW_STATUS_BAR:
        if (state) state->SetCheck(statusBar()->isVisible());
        else statusBar()->setVisible(!statusBar()->isVisible());
        return true;
    default:
        return m_app && m_app->OnCmdMsg(id, state);
    }
}

void CMainFrame::OnTopMost()
{
    m_bTopMost = !m_bTopMost;
    app::WriteProfileInt(kTopMost.section, kTopMost.key, m_bTopMost ? 1 : 0);
    ApplyTopMost();
}

void CMainFrame::ApplyTopMost()
{
    // Told to the window system as the window's stacking state. Changing the
    // widget's own flags would take the window down and make it anew: it
    // would lose the focus and, in full screen, come up over the picture.
    QWindow* window = windowHandle();
    if (!window) {
        setWindowFlag(Qt::WindowStaysOnTopHint, m_bTopMost);  // not made yet: taken when it is
        return;
    }
    window->setFlag(Qt::WindowStaysOnTopHint, m_bTopMost);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // The full-screen window would outlive this one and keep the program
    // running, unseen: it goes first, as when full screen is left.
    m_wndView.Engine().SetFullScreen(false);
    QMainWindow::closeEvent(event);
}

void CMainFrame::BindKeys(QWidget* window)
{
    m_commands->BindAccelerators(window);
}

void CMainFrame::focusInEvent(QFocusEvent*)
{
    m_wndView.setFocus();
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FitOuterSize();
}

void CMainFrame::FitOuterSize()
{
    // Qt sizes the client area; the window starts 400 x 400 with its frame.
    // The margins are known once the window manager has framed the window,
    // which may be only at its first move.
    if (m_bOuterSizeSettled || !windowHandle()) return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull()) return;
    m_bOuterSizeSettled = true;
    resize(kInitialSize - frame.left() - frame.right(), kInitialSize - frame.top() - frame.bottom());
}

void CMainFrame::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FitOuterSize();
    // The engine window does not move inside the frame, so it must be told
    // where on the screen its frames now go.
    m_wndView.Engine().UpdateScreenRect();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (!FirstDroppedPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    // The first file is opened, once; the others are not. Subtitle files
    // dropped on an open movie are added to it instead, and those dropped
    // with a movie are added to that.
    const QByteArray path = FirstDroppedPath(event->mimeData());
    const QList<QByteArray> subtitles = DroppedSubtitles(event->mimeData());
    event->acceptProposedAction();
    activateWindow();
    if (path.isEmpty()) return;
    const bool addsToMovie = view::PlayerView::IsSubtitleFile(path) && m_wndView.Engine().GetPlayState() >= 0;
    if (!addsToMovie && m_wndView.OpenMovieFile(path) != 0) return;
    for (const QByteArray& subtitle : subtitles) m_wndView.OpenSubtitleFile(subtitle);
}

void CMainFrame::FitClientToSize(int width, int height)
{
    // Layouts settle in posted events; measure only once they have.
    auto settle = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); };
    const QSize wanted(width, height);
    m_bOuterSizeSettled = true;
    settle();
    for (int pass = 0; pass < 2; ++pass) {
        // The outer size less the view's client size is what lies around it:
        // menu bar, toolbar, status bar, seek bar and borders.
        resize(size() - m_wndView.size() + wanted);
        settle();
        // A narrower frame can wrap the menu bar onto more lines: one more
        // pass measures again. There is no third.
        if (m_wndView.size() == wanted) return;
    }
}

void CMainFrame::SetCaption(const QString& caption)
{
    // Qt reads "[*]" as the place of its modified mark and drops it; doubled,
    // it is shown as written. The caption is the file's name exactly.
    m_caption = caption;
    QString title = caption;
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title);
}

void CMainFrame::AddToRecentFileList(const QByteArray& path)
{
    m_app->RecentFiles().Add(path);
    if (m_movieOpened) m_movieOpened();
}

void CMainFrame::WriteProfileInt(const char* section, const char* key, int value)
{
    app::WriteProfileInt(section, key, value);
}

void CMainFrame::WriteProfileString(const char* section, const char* key, const QString& value)
{
    app::WriteProfileString(section, key, value);
}

void CMainFrame::ShowContextMenu(const QPoint& globalPos)
{
    m_commands->ShowContextMenu(globalPos);
}

void CMainFrame::PostCommand(int id)
{
    QTimer::singleShot(0, this, [this, id] { m_commands->Execute(id); });
}

}  // namespace app
