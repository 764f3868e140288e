#pragma once
// The whole player, as a person starts it, in a test: its own settings
// folder, messages captured instead of shown, the application with its
// main frame and view.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

#include "QtPrinters.h"
#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"
#include "PlayerTestSupport.h"

namespace playertest {

using testsupport::CapturedMessages;
using testsupport::MoviePath;
using testsupport::WaitFor;

QByteArray MovieBytes(const std::string& name);

class PlayerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts (or restarts) the program with `commandLine`.
    void Start(const QByteArray& commandLine = {});
    // The settings file, and writing one before the program starts.
    QString SettingsFile() const;
    void WriteSettings(const QString& text);
    QString ReadSettings() const;

    bool Open(const std::string& movie);
    // Carries out a command as a menu would.
    void Command(int id);
    view::CommandState State(int id);
    bool Idle();
    int Kept();  // the frame number in the engine's kept frame, -1 if none
    // The engine window as painted now, and whether that is black with the
    // idle picture in the middle.
    QImage Painted();
    bool ShowsIdlePicture();
    // Drops local files or addresses on `target` as a file manager does.
    static void Drop(QWidget* target, const QList<QUrl>& urls);
    // A right click on `window`, and `id` chosen from the context menu it
    // opens; false when no menu offered it.
    bool ChooseFromContextMenu(QWidget* window, int id);
    // From now on every modal dialog (file dialog, about box) is cancelled
    // as soon as it shows.
    void CancelDialogs();

    QTemporaryDir m_config;
    QTimer m_cancelDialogs;
    QByteArray m_previousConfig;
    CapturedMessages messages;
    std::unique_ptr<app::MoviePlayerApp> player;
    app::CMainFrame* frame = nullptr;
    view::PlayerView* view = nullptr;
    engine::MovieEngine* engine = nullptr;
};

}  // namespace playertest
