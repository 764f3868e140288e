#include "PlayerFixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <chrono>

#include "FrameCode.h"
#include "app/CommandUi.h"

namespace playertest {

QByteArray MovieBytes(const std::string& name)
{
    return QByteArray::fromStdString(MoviePath(name));
}

void PlayerFixture::SetUp()
{
    ASSERT_TRUE(m_config.isValid());
    m_previousConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    // QSettings takes its folder from the environment once per process.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
}

void PlayerFixture::TearDown()
{
    player.reset();
    qputenv("XDG_CONFIG_HOME", m_previousConfig);
}

void PlayerFixture::Start(const QByteArray& commandLine)
{
    player.reset();
    player = std::make_unique<app::MoviePlayerApp>();
    player->InitInstance(commandLine);
    frame = player->MainFrame();
    view = &frame->View();
    engine = &view->Engine();
    WaitFor([&] { return frame->isVisible(); }, 2000);
}

QString PlayerFixture::SettingsFile() const
{
    return m_config.path() + QStringLiteral("/Ostra/Reelscope.conf");
}

void PlayerFixture::WriteSettings(const QString& text)
{
    QDir().mkpath(m_config.path() + QStringLiteral("/Ostra"));
    QFile file(SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

QString PlayerFixture::ReadSettings() const
{
    QFile file(SettingsFile());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

bool PlayerFixture::Open(const std::string& movie)
{
    return view->OpenMovieFile(MovieBytes(movie)) == 0;
}

void PlayerFixture::Command(int id)
{
    frame->Commands().Execute(id);
}

view::CommandState PlayerFixture::State(int id)
{
    view::CommandState state;
    state.enabled = frame->OnCmdMsg(id, &state) && state.enabled;
    return state;
}

bool PlayerFixture::Idle()
{
    return WaitFor([&] { return engine->GetPlayState() == engine::MovieEngine::Idle; });
}

int PlayerFixture::Kept()
{
    const QImage kept = engine->KeptFrame();
    return kept.isNull() ? -1 : ReadFrameNumber(kept);
}

}  // namespace playertest

namespace playertest {

QImage PlayerFixture::Painted()
{
    return engine->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void PlayerFixture::Drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

bool PlayerFixture::ChooseFromContextMenu(QWidget* window, int id)
{
    bool chosen = false;
    QTimer::singleShot(1, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->findChildren<QAction*>()) {
            if (action->data().toInt() != id || !action->isEnabled()) continue;
            action->trigger();
            chosen = true;
        }
        menu->close();
    });
    const QPoint at(window->width() / 3, window->height() / 3);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(window->mapToGlobal(at)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    return chosen;
}

void PlayerFixture::CancelDialogs()
{
    QObject::connect(&m_cancelDialogs, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
    });
    m_cancelDialogs.start(20);
}

bool PlayerFixture::ShowsIdlePicture()
{
    return testsupport::ShowsIdlePicture(*engine);
}

}  // namespace playertest
