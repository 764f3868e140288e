#include "PlayerFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <chrono>

#include "FrameCode.h"
#include "app/CommandUi.h"
#include "resources/UiResources.h"

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

bool PlayerFixture::ShowsIdlePicture()
{
    const QImage idle = QImage(QString::fromLatin1(ui::kIdlePicture)).convertToFormat(QImage::Format_RGB32);
    const QImage shown = Painted();
    const QPoint at((shown.width() - idle.width()) / 2, (shown.height() - idle.height()) / 2);
    return shown.copy(QRect(at, idle.size())) == idle && shown.pixel(0, 0) == qRgb(0, 0, 0);
}

}  // namespace playertest
