// Whatever people open: half-downloaded and damaged movies, things that are
// not movies or not files, odd paths, settings that are garbage. Each must
// end without a crash or a hang, with the right message, the settings
// intact and the player still able to play a good movie afterwards.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>

#include "PlayerFixture.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;

const QString kOpenFailed = QStringLiteral("Could not Open format not supported. ?");
const QString kRenderFailed = QStringLiteral("Initialization failure in InitRenderToSurface");

class BadInput : public PlayerFixture {
protected:
    QTemporaryDir dir;

    void SetUp() override
    {
        PlayerFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        // A switch and a recent file that no bad input may lose.
        WriteSettings(QStringLiteral("[MCI]\nAutoReplay=1\n"));
        Start();
        ASSERT_TRUE(Open("mjpeg.avi"));
        messages.texts.clear();
    }

    QByteArray Copy(const std::string& movie, const QString& name)
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(QString::fromStdString(MoviePath(movie)), path));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return QFile::encodeName(path);
    }
    QByteArray Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return QFile::encodeName(path);
    }

    // Opens `path` as the file dialog would; the interface may not be held
    // for more than a second, not counting the time its messages are up.
    int OpenTimed(const QByteArray& path)
    {
        QElapsedTimer held;
        held.start();
        const auto before = messages.texts.size();
        const int result = view->OpenMovieFile(path);
        const auto shown = static_cast<qint64>(messages.texts.size() - before);
        EXPECT_LT(held.elapsed() - shown * messages.upMs, 1000) << path.toStdString();
        return result;
    }

    QString LastMessage() const { return messages.texts.empty() ? QString() : messages.texts.back(); }

    // What every case ends with: the settings are as they were and a good
    // movie still opens and plays.
    void ExpectStillUsable()
    {
        EXPECT_TRUE(ReadSettings().contains(QStringLiteral("AutoReplay=1")));
        EXPECT_GE(player->RecentFiles().Count(), 1);
        ASSERT_EQ(OpenTimed(MovieBytes("short.avi")), 0);
        EXPECT_TRUE(WaitFor([&] { return Kept() >= 3; }));
    }
};

TEST_F(BadInput, FilesThatAreNotMoviesAreRefusedWithTheOpenMessage)
{
    const std::vector<QByteArray> paths = {
        Write(QStringLiteral("empty.avi"), {}),
        Write(QStringLiteral("random.avi"), QByteArray(70'000, '\x5a') + QByteArray::number(12345)),
        Write(QStringLiteral("notes.mpg"), "These are notes, not a movie.\n"),
        QFile::encodeName(dir.path()),
        QFile::encodeName(dir.path() + QStringLiteral("/missing.avi")),
        "/dev/zero",
    };
    for (const QByteArray& path : paths) {
        messages.texts.clear();
        EXPECT_EQ(OpenTimed(path), 1) << path.toStdString();
        ASSERT_EQ(messages.texts.size(), 1u) << path.toStdString();
        EXPECT_EQ(messages.texts[0], kOpenFailed) << path.toStdString();
        EXPECT_EQ(engine->GetPlayState(), -1);
    }
    ExpectStillUsable();
}

TEST_F(BadInput, APipeWithNoWriterIsRefusedWithoutBlocking)
{
    const QString fifo = dir.path() + QStringLiteral("/stream.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(OpenTimed(QFile::encodeName(fifo)), 1);
    EXPECT_EQ(LastMessage(), kOpenFailed);
    ExpectStillUsable();
}

TEST_F(BadInput, AFileWithoutReadPermissionIsRefused)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const QByteArray path = Copy("short.avi", QStringLiteral("locked.avi"));
    ASSERT_EQ(::chmod(path.constData(), 0), 0);
    EXPECT_EQ(OpenTimed(path), 1);
    EXPECT_EQ(LastMessage(), kOpenFailed);
    ExpectStillUsable();
}

TEST_F(BadInput, ATruncatedMoviePlaysWhatIsThereAndEndsNormally)
{
    for (const double kept : {0.10, 0.50, 0.99}) {
        const QByteArray path = Copy("mpeg4.avi", QStringLiteral("part.avi"));
        ASSERT_TRUE(QFile::resize(QFile::decodeName(path), static_cast<qint64>(QFileInfo(QFile::decodeName(path)).size() * kept)));
        messages.texts.clear();
        if (OpenTimed(path) != 0) {
            // Too little left to be a movie: refused like one.
            EXPECT_EQ(LastMessage(), kOpenFailed) << kept;
            continue;
        }
        Command(ID_AUTO_REPLAY);  // off, so the end stays the end
        ASSERT_TRUE(WaitFor([&] { return engine->IsAtEnd() == 1 || frame->PaneText(0) == "Stop"; }, 8000)) << kept;
        EXPECT_GE(Kept(), 0) << kept;
        // A seek within what is there shows that frame.
        const int within = std::max(0, Kept() / 2);
        engine->Seek(within, MovieEngine::SeekAndShow);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Kept(), within) << kept;
        Command(ID_AUTO_REPLAY);
    }
    ExpectStillUsable();
}

TEST_F(BadInput, AStretchOfZeroesInTheMiddlePlaysThroughWithTheDamageSkipped)
{
    const QByteArray path = Copy("mjpeg.avi", QStringLiteral("holes.avi"));
    {
        QFile file(QFile::decodeName(path));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(file.size() * 2 / 5);
        file.write(QByteArray(static_cast<int>(file.size() / 10), '\0'));
    }
    Command(ID_AUTO_REPLAY);
    ASSERT_EQ(OpenTimed(path), 0);
    ASSERT_TRUE(WaitFor([&] { return frame->PaneText(0) == "Stop"; }, 8000));
    EXPECT_EQ(Kept(), 49);  // it got past the hole to the last frame
    Command(ID_AUTO_REPLAY);
    ExpectStillUsable();
}

// Little-endian 32-bit field in a file.
void Patch(const QByteArray& path, qint64 offset, quint32 value)
{
    QFile file(QFile::decodeName(path));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(offset);
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    file.write(bytes, 4);
}

qint64 Find(const QByteArray& path, const QByteArray& what)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) return -1;
    return file.read(64 * 1024).indexOf(what);
}

long ResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

TEST_F(BadInput, AHeaderClaimingAnAbsurdSizeIsRefusedWithoutAGiantAllocation)
{
    const QByteArray path = Copy("mjpeg.avi", QStringLiteral("huge.avi"));
    const qint64 avih = Find(path, "avih");
    const qint64 strf = Find(path, "strf");
    ASSERT_GT(avih, 0);
    ASSERT_GT(strf, 0);
    Patch(path, avih + 8 + 32, 60000);  // dwWidth
    Patch(path, avih + 8 + 36, 60000);  // dwHeight
    Patch(path, strf + 8 + 4, 60000);   // biWidth
    Patch(path, strf + 8 + 8, 60000);   // biHeight
    // The pictures say it too: every JPEG frame's start-of-frame header.
    {
        QFile file(QFile::decodeName(path));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        int patched = 0;
        for (qsizetype at = bytes.indexOf("\xff\xc0"); at >= 0; at = bytes.indexOf("\xff\xc0", at + 2), ++patched) {
            bytes[at + 5] = bytes[at + 7] = char(60000 >> 8);
            bytes[at + 6] = bytes[at + 8] = char(60000 & 0xff);
        }
        ASSERT_GT(patched, 10);
        file.seek(0);
        file.write(bytes);
    }
    const long before = ResidentKb();
    EXPECT_EQ(OpenTimed(path), 1);
    EXPECT_EQ(LastMessage(), kRenderFailed);
    EXPECT_LT(ResidentKb() - before, 200 * 1024) << "no picture of that size was allocated";
    ExpectStillUsable();
}

TEST_F(BadInput, AHeaderWhosePicturesDisagreeIsPlayedAtThePicturesSize)
{
    const QByteArray path = Copy("mjpeg.avi", QStringLiteral("liar.avi"));
    const qint64 strf = Find(path, "strf");
    ASSERT_GT(strf, 0);
    Patch(path, strf + 8 + 4, 60000);
    Patch(path, strf + 8 + 8, 60000);
    ASSERT_EQ(OpenTimed(path), 0);
    EXPECT_EQ(engine->size(), QSize(320, 240));
    ExpectStillUsable();
}

TEST_F(BadInput, AHeaderWithAFrameRateOfZeroNeitherCrashesNorHangs)
{
    const QByteArray path = Copy("mjpeg.avi", QStringLiteral("norate.avi"));
    const qint64 strh = Find(path, "strh");
    const qint64 avih = Find(path, "avih");
    ASSERT_GT(strh, 0);
    Patch(path, strh + 8 + 24, 0);  // dwRate
    Patch(path, avih + 8, 0);       // dwMicroSecPerFrame
    if (OpenTimed(path) == 0) {
        // Played as a movie that does not say its frame time.
        EXPECT_GT(engine->GetTotalFrames(), 0);
        engine->Seek(engine->GetTotalFrames(), MovieEngine::SeekAndShow);
        EXPECT_TRUE(Idle());
    } else {
        EXPECT_TRUE(LastMessage() == kOpenFailed || LastMessage() == kRenderFailed);
    }
    ExpectStillUsable();
}

TEST_F(BadInput, ASingleFrameMovieShowsThatFrameFromEitherEnd)
{
    const QByteArray path = Copy("short.avi", QStringLiteral("one.avi"));
    // A real one-frame movie: written by the generator into the build tree.
    ASSERT_EQ(OpenTimed(MovieBytes("one.avi")), 0);
    ASSERT_TRUE(WaitFor([&] { return frame->PaneText(0) == "Stop"; }, 5000));
    EXPECT_EQ(Kept(), 0);
    Command(ID_GO_END);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 0);
    Command(ID_GO_START);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 0);
    ExpectStillUsable();
}

TEST_F(BadInput, SoundOnlyIsRefusedAndDamagedSoundPlaysSilently)
{
    EXPECT_EQ(OpenTimed(MovieBytes("audioonly.avi")), 1);
    EXPECT_EQ(LastMessage(), kRenderFailed);
    // MP2 frames overwritten after their start codes: the picture plays on.
    const QByteArray path = Copy("mpeg1.mpg", QStringLiteral("badsound.mpg"));
    {
        QFile file(QFile::decodeName(path));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        const QByteArray audio("\x00\x00\x01\xc0", 4);
        for (qsizetype at = bytes.indexOf(audio); at >= 0; at = bytes.indexOf(audio, at + 4))
            for (qsizetype i = at + 20; i < std::min<qsizetype>(at + 400, bytes.size()); ++i) bytes[i] = char(i * 37);
        file.seek(0);
        file.write(bytes);
    }
    Command(ID_AUTO_REPLAY);
    messages.texts.clear();
    ASSERT_EQ(OpenTimed(path), 0);
    ASSERT_TRUE(WaitFor([&] { return frame->PaneText(0) == "Stop"; }, 8000));
    EXPECT_EQ(Kept(), 49);
    EXPECT_TRUE(messages.texts.empty());
    Command(ID_AUTO_REPLAY);
    ExpectStillUsable();
}

TEST_F(BadInput, AFileDeletedOrCutShortWhileItPlays)
{
    Command(ID_AUTO_REPLAY);
    const QByteArray deleted = Copy("mjpeg.avi", QStringLiteral("deleted.avi"));
    ASSERT_EQ(OpenTimed(deleted), 0);
    ASSERT_TRUE(QFile::remove(QFile::decodeName(deleted)));
    // Still open, so it plays to its end.
    ASSERT_TRUE(WaitFor([&] { return frame->PaneText(0) == "Stop"; }, 8000));
    EXPECT_EQ(Kept(), 49);

    const QByteArray cut = Copy("mjpeg.avi", QStringLiteral("cut.avi"));
    ASSERT_EQ(OpenTimed(cut), 0);
    ASSERT_TRUE(QFile::resize(QFile::decodeName(cut), QFileInfo(QFile::decodeName(cut)).size() / 3));
    ASSERT_TRUE(WaitFor([&] { return frame->PaneText(0) == "Stop"; }, 8000));
    Command(ID_AUTO_REPLAY);
    ExpectStillUsable();
}

TEST_F(BadInput, PathsLongOddAndForeign)
{
    // Spaces, quotes and Japanese.
    const QByteArray named = Copy("short.avi", QStringLiteral("It's a \"movie\" 映画.avi"));
    ASSERT_EQ(OpenTimed(named), 0);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("It's a \"movie\" 映画.avi"));

    // Bytes that are not UTF-8: opened by their bytes, and again from the
    // recent-file list after a restart.
    const QByteArray foreign = QFile::encodeName(dir.path()) + "/caf\xe9-\xff.avi";
    // Made by its bytes: text would not carry them.
    std::filesystem::copy_file(MoviePath("short.avi"), foreign.toStdString());
    ASSERT_EQ(OpenTimed(foreign), 0);
    Start();
    ASSERT_EQ(player->RecentFiles().Path(0), foreign);
    Command(ID_FILE_MRU_FILE1);
    EXPECT_GE(engine->GetPlayState(), 0);

    // About 4,000 bytes of path: opens. Past the system's limit: refused.
    QString deep = dir.path();
    while (deep.size() < 3900) deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(deep));
    const QByteArray longPath = QFile::encodeName(deep + QStringLiteral("/movie.avi"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(MoviePath("short.avi")), QFile::decodeName(longPath)));
    EXPECT_EQ(OpenTimed(longPath), 0);
    EXPECT_EQ(OpenTimed(longPath + QByteArray(300, '/') + QByteArray(300, 'x')), 1);
    EXPECT_EQ(LastMessage(), kOpenFailed);
    ExpectStillUsable();
}

class BadSettings : public PlayerFixture {};

TEST_F(BadSettings, GarbageStartsWithDefaultsAndIsKeptAsideBeforeTheFirstWrite)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage += char((i * 7919) & 0xff);
    WriteSettings(QString::fromLatin1(garbage));
    QFile original(SettingsFile());
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();
    Start();
    EXPECT_FALSE(view->m_bAutoReplay);
    EXPECT_FALSE(frame->IsTopMost());
    ASSERT_TRUE(Open("short.avi"));
    Command(ID_AUTO_REPLAY);
    EXPECT_TRUE(ReadSettings().contains(QStringLiteral("AutoReplay=1")));
    // What could not be read is not lost: it is kept beside the new file.
    QFile kept(SettingsFile() + QStringLiteral(".damaged"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), bytes);
}

TEST_F(BadSettings, ARecentListAmongDamageIsKept)
{
    WriteSettings(QStringLiteral("[Recent%20File%20List]\nFile1=/no/such/movie.avi\n[MCI\nAutoReplay=on\n"
                                 "garbage line without equals\n"));
    const QString before = ReadSettings();
    Start();
    EXPECT_EQ(player->RecentFiles().Count(), 1);
    ASSERT_TRUE(Open("short.avi"));
    // The list now holds both, and the damaged original is kept whole.
    ASSERT_EQ(player->RecentFiles().Count(), 2);
    EXPECT_EQ(player->RecentFiles().Path(1), QByteArray("/no/such/movie.avi"));
    QFile kept(SettingsFile() + QStringLiteral(".damaged"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(kept.readAll()), before);
}

TEST_F(BadSettings, AGoodFileIsNotKeptAside)
{
    WriteSettings(QStringLiteral("; comment\n[MCI]\nAutoReplay=1\n\n[MainFrame]\nTopMost=0\n"));
    Start();
    Command(ID_AUTO_REPLAY);
    EXPECT_FALSE(QFile::exists(SettingsFile() + QStringLiteral(".damaged")));
}

}  // namespace
}  // namespace playertest
