// Whatever people open: half-downloaded and damaged movies, things that are
// not movies or not files, odd paths. Each ends without a crash or a hang,
// with its message or playing what there is, the settings intact and the
// player still able to play a good movie afterwards.

#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <functional>

#include "PlayerFixture.h"

namespace playertest {
namespace {

const QString kOpenFailed = QStringLiteral("Could not Open format not supported. ?");
const QString kRenderFailed = QStringLiteral("Initialization failure in InitRenderToSurface");
const QString kPlays;  // no message: it opens and plays

class BadInput;

struct Case {
    const char* name;
    std::function<QByteArray(BadInput&)> make;  // the path to open; empty: nothing to try here
    std::vector<QString> outcomes;               // the message shown, or kPlays
    int last = -1;                               // when it plays: the frame it ends on, -1 for any
    std::function<void(const QByteArray&)> whilePlaying = nullptr;
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class BadInput : public PlayerFixture, public ::testing::WithParamInterface<Case> {
public:
    QByteArray Write(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_files.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return QFile::encodeName(file.fileName());
    }
    // A copy of `movie` with `change` made to its bytes.
    QByteArray Damage(const std::string& movie, const std::function<void(QByteArray&)>& change)
    {
        QByteArray bytes = ReadFile(QString::fromStdString(MoviePath(movie)));
        change(bytes);
        return Write(QStringLiteral("damaged-") + QString::fromStdString(movie), bytes);
    }
    QByteArray Truncated(const std::string& movie, double kept)
    {
        return Damage(movie, [&](QByteArray& b) { b.truncate(static_cast<qsizetype>(b.size() * kept)); });
    }
    // A folder of about `length` bytes of path.
    QString Deep(int length)
    {
        QString deep = m_files.path();
        while (deep.size() < length) deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        EXPECT_TRUE(QDir().mkpath(deep));
        return deep;
    }
};

// A little-endian 32-bit field of a RIFF header chunk.
void Patch(QByteArray& bytes, const char* chunk, int offset, quint32 value)
{
    const qsizetype at = bytes.indexOf(chunk);
    ASSERT_GT(at, 0) << chunk;
    for (int i = 0; i < 4; ++i) bytes[at + 8 + offset + i] = char(value >> (8 * i));
}

TEST_P(BadInput, EndsWithItsMessageOrPlaysWhatThereIsAndLeavesAPlayerThatPlays)
{
    // A switch and a recent file that no bad input may lose.
    WriteSettings("[MCI]\nFrameTime=1\n");
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    const Case& c = GetParam();
    const QByteArray path = c.make(*this);
    if (path.isEmpty()) GTEST_SKIP() << "nothing to try on this machine";
    messages.texts.clear();
    const long before = ResidentKb();
    const int result = view->OpenMovieFile(path);
    ASSERT_LE(messages.texts.size(), 1u);
    const QString shown = messages.texts.empty() ? kPlays : messages.texts[0];
    EXPECT_NE(std::find(c.outcomes.begin(), c.outcomes.end(), shown), c.outcomes.end()) << shown.toStdString();
    EXPECT_EQ(result == 0, shown == kPlays);
    if (result != 0) {
        EXPECT_EQ(engine->GetPlayState(), -1);
        // Whatever a header claims, no picture of that size is made.
        EXPECT_LT(ResidentKb() - before, 200 * 1024);
    } else {
        EXPECT_EQ(engine->size(), QSize(320, 240));  // the pictures' size, whatever the header says
        if (c.whilePlaying) c.whilePlaying(path);
        ASSERT_TRUE(QTest::qWaitFor([&] { return frame->PaneText(0) == "Stop"; }, 8000));
        const int last = Kept();
        EXPECT_GE(last, 0);
        if (c.last >= 0) {
            // Both ends show their frames.
            EXPECT_EQ(last, c.last);
            for (const auto& [id, shown] : {std::pair{ID_GO_START, 0}, {ID_GO_END, c.last}}) {
                Command(id);
                ASSERT_TRUE(Idle());
                EXPECT_EQ(Kept(), shown);
            }
        } else if (!c.whilePlaying) {
            // A seek within what is there shows that frame.
            engine->Seek(last / 2, MovieEngine::SeekAndShow);
            ASSERT_TRUE(Idle());
            EXPECT_EQ(Kept(), last / 2);
        }
    }
    EXPECT_TRUE(ReadSettings().contains(QStringLiteral("FrameTime=1")));
    EXPECT_GE(player->RecentFiles().Count(), 1);
    ASSERT_TRUE(Open("short.avi"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Kept() >= 3; }));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInput,
    ::testing::Values(
        Case{"Empty", [](BadInput& t) { return t.Write("empty.avi", {}); }, {kOpenFailed}},
        Case{"Noise", [](BadInput& t) { return t.Write("noise.avi", QByteArray(70'000, '\x5a') + "12345"); }, {kOpenFailed}},
        Case{"Text", [](BadInput& t) { return t.Write("notes.mpg", "These are notes, not a movie.\n"); }, {kOpenFailed}},
        Case{"Folder", [](BadInput& t) { return QFile::encodeName(t.m_files.path()); }, {kOpenFailed}},
        Case{"Missing", [](BadInput& t) { return QFile::encodeName(t.m_files.filePath("missing.avi")); }, {kOpenFailed}},
        Case{"Device", [](BadInput&) { return QByteArray("/dev/zero"); }, {kOpenFailed}},
        Case{"PipeWithoutWriter",
             [](BadInput& t) {
                 const QByteArray fifo = QFile::encodeName(t.m_files.filePath("stream.avi"));
                 return ::mkfifo(fifo.constData(), 0600) == 0 ? fifo : QByteArray();
             },
             {kOpenFailed}},
        Case{"Unreadable",
             [](BadInput& t) {
                 const QByteArray path = t.CopyMovie("short.avi", "locked.avi");
                 // Root reads every file.
                 return ::geteuid() != 0 && ::chmod(path.constData(), 0) == 0 ? path : QByteArray();
             },
             {kOpenFailed}},
        Case{"PathPastTheSystemsLimit",
             [](BadInput& t) { return QFile::encodeName(t.Deep(3900)) + QByteArray(300, '/') + QByteArray(300, 'x'); },
             {kOpenFailed}},
        Case{"HeaderAndPicturesClaimAnAbsurdSize",
             [](BadInput& t) {
                 return t.Damage("mjpeg.avi", [](QByteArray& b) {
                     Patch(b, "avih", 32, 60000);  // dwWidth
                     Patch(b, "avih", 36, 60000);  // dwHeight
                     Patch(b, "strf", 4, 60000);   // biWidth
                     Patch(b, "strf", 8, 60000);   // biHeight
                     // Every JPEG frame's start-of-frame header.
                     for (qsizetype at = b.indexOf("\xff\xc0"); at >= 0; at = b.indexOf("\xff\xc0", at + 2)) {
                         b[at + 5] = b[at + 7] = char(60000 >> 8);
                         b[at + 6] = b[at + 8] = char(60000 & 0xff);
                     }
                 });
             },
             {kRenderFailed}},
        Case{"HeaderDisagreesWithThePictures",
             [](BadInput& t) {
                 return t.Damage("mjpeg.avi", [](QByteArray& b) {
                     Patch(b, "strf", 4, 60000);
                     Patch(b, "strf", 8, 60000);
                 });
             },
             {kPlays}, 49},
        Case{"FrameRateOfZero",
             [](BadInput& t) {
                 return t.Damage("mjpeg.avi", [](QByteArray& b) {
                     Patch(b, "strh", 24, 0);  // dwRate
                     Patch(b, "avih", 0, 0);   // dwMicroSecPerFrame
                 });
             },
             {kPlays, kOpenFailed, kRenderFailed}},
        // Too little left of a movie is refused as no movie.
        Case{"CutToATenth", [](BadInput& t) { return t.Truncated("mpeg4.avi", 0.10); }, {kPlays, kOpenFailed}},
        Case{"CutToAHalf", [](BadInput& t) { return t.Truncated("mpeg4.avi", 0.50); }, {kPlays, kOpenFailed}},
        Case{"CutShort", [](BadInput& t) { return t.Truncated("mpeg4.avi", 0.99); }, {kPlays, kOpenFailed}},
        Case{"ZeroesInTheMiddle",
             [](BadInput& t) {
                 return t.Damage("mjpeg.avi", [](QByteArray& b) {
                     b.replace(b.size() * 2 / 5, b.size() / 10, QByteArray(b.size() / 10, '\0'));
                 });
             },
             {kPlays}, 49},
        Case{"DamagedSound",
             [](BadInput& t) {
                 // The sound packets' MP2 data overwritten, the pictures' left whole.
                 return t.Damage("mpeg1.mpg", [](QByteArray& b) {
                     const QByteArray audio("\x00\x00\x01\xc0", 4);
                     for (qsizetype at = b.indexOf(audio); at >= 0 && at + 6 < b.size(); at = b.indexOf(audio, at + 4)) {
                         const qsizetype end = at + 6 + (uchar(b[at + 4]) << 8 | uchar(b[at + 5]));
                         for (qsizetype i = at + 20; i < std::min(end, b.size()); ++i) b[i] = char(i * 37);
                     }
                 });
             },
             {kPlays}, 49},
        Case{"OneFrame", [](BadInput&) { return MovieBytes("one.avi"); }, {kPlays}, 0},
        // Still open, so it plays to its end.
        Case{"DeletedWhilePlaying", [](BadInput& t) { return t.CopyMovie("mjpeg.avi", "deleted.avi"); }, {kPlays}, 49,
             [](const QByteArray& path) { QFile::remove(QFile::decodeName(path)); }},
        Case{"CutWhilePlaying", [](BadInput& t) { return t.CopyMovie("mjpeg.avi", "cut.avi"); }, {kPlays}, -1,
             [](const QByteArray& path) {
                 QFile::resize(QFile::decodeName(path), QFileInfo(QFile::decodeName(path)).size() / 3);
             }},
        Case{"LongPath",
             [](BadInput& t) {
                 const QString path = t.Deep(3900) + QStringLiteral("/movie.avi");
                 QFile::copy(QString::fromStdString(MoviePath("short.avi")), path);
                 return QFile::encodeName(path);
             },
             {kPlays}, 9}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace playertest
