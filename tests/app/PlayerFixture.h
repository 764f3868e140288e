#pragma once
// The whole player, as a person starts it, in a test: its own settings
// folder, messages captured instead of shown, the application with its
// main frame and view, and the ways a person reaches it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <map>
#include <memory>

#include "PlayerTestSupport.h"
#include "app/CommandUi.h"
#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"
#include "resources/UiResources.h"

namespace playertest {

using engine::MovieEngine;
using testsupport::CapturedMessages;
using testsupport::MoviePath;

inline QByteArray MovieBytes(const std::string& name)
{
    return QByteArray::fromStdString(MoviePath(name));
}

// Resident memory, in kB, and the threads running, of this process.
inline long ResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}
inline int Threads()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// A mouse event on `window` at `at`; a move holds `button` down.
inline void Mouse(QWidget* window, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), QPointF(window->mapToGlobal(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                      held, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

class PlayerFixture : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid() && m_files.isValid());
        m_previousConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        // QSettings takes its folder from the environment once per process.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    }
    void TearDown() override
    {
        player.reset();
        qputenv("XDG_CONFIG_HOME", m_previousConfig);
    }

    // Starts (or restarts) the program with `commandLine`.
    void Start(const QByteArray& commandLine = {})
    {
        player.reset();
        player = std::make_unique<app::MoviePlayerApp>();
        player->InitInstance(commandLine);
        frame = player->MainFrame();
        view = &frame->View();
        engine = &view->Engine();
        ASSERT_TRUE(QTest::qWaitFor([&] { return frame->isVisible(); }));
    }

    // The settings file, and writing one before the program starts.
    QString SettingsFile() const { return m_config.path() + QStringLiteral("/Ostra/Reelscope.conf"); }
    void WriteSettings(const QByteArray& bytes)
    {
        QDir().mkpath(m_config.path() + QStringLiteral("/Ostra"));
        QFile file(SettingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    static QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString ReadSettings() const { return QString::fromUtf8(ReadFile(SettingsFile())); }

    // A copy of a test movie under `name` in a folder of the test's own.
    QByteArray CopyMovie(const std::string& movie, const QString& name)
    {
        const QString path = m_files.filePath(name);
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(QString::fromStdString(MoviePath(movie)), path)) << name.toStdString();
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return QFile::encodeName(path);
    }

    bool Open(const std::string& movie) { return view->OpenMovieFile(MovieBytes(movie)) == 0; }
    // Carries out a command as a menu would.
    void Command(int id) { frame->Commands().Execute(id); }
    view::CommandState State(int id)
    {
        view::CommandState state;
        state.enabled = frame->OnCmdMsg(id, &state) && state.enabled;
        return state;
    }
    bool Idle() { return QTest::qWaitFor([&] { return engine->GetPlayState() == MovieEngine::Idle; }); }
    // Shows frame `n` paused.
    void At(int n)
    {
        engine->Pause();
        engine->Seek(n, MovieEngine::SeekAndShow);
        ASSERT_TRUE(Idle()) << "frame " << n;
    }
    int Kept() { return testsupport::Kept(*engine); }
    // The engine window as painted now.
    QImage Painted() { return engine->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    bool ShowsIdlePicture() { return testsupport::ShowsIdlePicture(*engine); }

    // Drops local files or addresses on `target` as a file manager does.
    static void Drop(QWidget* target, const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
    }

    // A right click on `window`: the commands of the context menu it opens,
    // each enabled or not and checked or not, and `choose` chosen from it
    // when it is there and enabled.
    struct Item {
        bool enabled = false;
        bool checked = false;
    };
    static std::map<int, Item> ContextMenu(QWidget* window, int choose = 0)
    {
        std::map<int, Item> items;
        QTimer::singleShot(1, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* action : menu->findChildren<QAction*>()) {
                const int id = action->data().toInt();
                if (id == 0) continue;
                items[id] = {action->isEnabled(), action->isChecked()};
                if (id == choose && action->isEnabled()) action->trigger();
            }
            menu->close();
        });
        Mouse(window, QEvent::MouseButtonPress, QPoint(window->width() / 3, window->height() / 3), Qt::RightButton);
        return items;
    }

    // From now on every modal dialog (file dialog, about box) is cancelled
    // as soon as it shows.
    void CancelDialogs()
    {
        QObject::connect(&m_cancelDialogs, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
        });
        m_cancelDialogs.start(20);
    }

    QTemporaryDir m_config;
    QTemporaryDir m_files;
    QTimer m_cancelDialogs;
    QByteArray m_previousConfig;
    CapturedMessages messages;
    std::unique_ptr<app::MoviePlayerApp> player;
    app::CMainFrame* frame = nullptr;
    view::PlayerView* view = nullptr;
    engine::MovieEngine* engine = nullptr;
};

}  // namespace playertest
