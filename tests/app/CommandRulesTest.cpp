// Every command's enable and check rule, with and without a movie, and
// what a disabled command does from any source: nothing.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QTest>

#include "PlayerFixture.h"
#include "app/CommandUi.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

struct Rule {
    int id;
    bool withoutMovie;
    bool withMovie;
};

// Enabled or not, with no movie and with a seekable movie open.
const Rule kRules[] = {
    {ID_FILE_OPEN, true, true},       {ID_EDIT_COPY, true, true},        {ID_TIME_DISPLAY, true, true},
    {ID_PLAY, false, true},           {ID_PAUSE, false, true},           {ID_STOP, false, true},
    {ID_GO_START, false, true},       {ID_GO_END, false, true},          {ID_AUTO_REPLAY, true, true},
    {ID_VIEW_SCROLL, true, true},     {ID_VIEW_SCROLLBAR, true, true},   {ID_FULL_SCREEN, false, true},
    {ID_SPEED_HALF, false, true},     {ID_SPEED_NORMAL, false, true},    {ID_SPEED_DOUBLE, false, true},
    {ID_SIZE_HALF, false, true},      {ID_SIZE_NORMAL, false, true},     {ID_SIZE_DOUBLE, false, true},
    {ID_VOLUME_UP, false, true},      {ID_VOLUME_DOWN, false, true},     {ID_VOLUME_MUTE, false, true},
    {ID_VIEW_TOPMOST, true, true},    {ID_APP_ABOUT, true, true},        {ID_APP_EXIT, true, true},
    {ID_VIEW_TOOLBAR, true, true},    {ID_VIEW_STATUS_BAR, true, true},
    {ID_STEP_FORWARD, false, true},   {ID_STEP_BACK, false, true},       {ID_SKIP_FORWARD, false, true},
    {ID_SKIP_BACK, false, true},      {ID_PAGE_FORWARD, false, true},    {ID_PAGE_BACK, false, true},
    {ID_LEAVE_FULL_SCREEN, false, false},  // only in full screen
    // Nothing handles these: disabled always.
    {ID_REVERSE_PLAY, false, false},  {ID_EDIT_PASTE, false, false},     {ID_EDIT_CUT, false, false},
    {ID_EDIT_UNDO, false, false},     {ID_NEXT_PANE, false, false},      {ID_PREV_PANE, false, false},
    {ID_FILE_MRU_FILE1, false, true},  // enabled while there is a first recent file
};

class CommandRules : public PlayerFixture {};

TEST_F(CommandRules, EveryCommandIsEnabledByItsRule)
{
    Start();
    for (const Rule& rule : kRules) EXPECT_EQ(State(rule.id).enabled, rule.withoutMovie) << ui::FindCommand(rule.id)->name;
    ASSERT_TRUE(Open("mjpeg.avi"));
    for (const Rule& rule : kRules) EXPECT_EQ(State(rule.id).enabled, rule.withMovie) << ui::FindCommand(rule.id)->name;
}

TEST_F(CommandRules, ChecksFollowTheirSwitches)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    for (const int id : {ID_AUTO_REPLAY, ID_VIEW_SCROLL, ID_VIEW_SCROLLBAR, ID_VOLUME_MUTE, ID_VIEW_TOPMOST,
                         ID_FULL_SCREEN}) {
        EXPECT_FALSE(State(id).checked) << ui::FindCommand(id)->name;
    }
    EXPECT_TRUE(State(ID_VIEW_TOOLBAR).checked);
    EXPECT_TRUE(State(ID_VIEW_STATUS_BAR).checked);
    for (const int id : {ID_AUTO_REPLAY, ID_VIEW_SCROLL, ID_VIEW_SCROLLBAR, ID_VOLUME_MUTE}) {
        Command(id);
        EXPECT_TRUE(State(id).checked) << ui::FindCommand(id)->name;
    }
    // The other commands never carry a check mark.
    for (const int id : {ID_PLAY, ID_PAUSE, ID_STOP, ID_GO_START, ID_SPEED_HALF, ID_SIZE_DOUBLE, ID_VOLUME_UP})
        EXPECT_FALSE(State(id).checked) << ui::FindCommand(id)->name;
    // Hiding a bar through its command clears its check.
    Command(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(State(ID_VIEW_STATUS_BAR).checked);
}

TEST_F(CommandRules, ADisabledCommandDoesNothingWhateverSendsIt)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 0; }));
    // Keys reach their commands: the copy keys copy...
    QGuiApplication::clipboard()->clear();
    QApplication::setActiveWindow(frame);
    QTest::keyClick(frame, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull());
    // The toolbar's play button was enabled by the idle refresh...
    QAction* play = frame->Commands().Action(ID_PLAY);
    frame->Commands().Refresh(play);
    ASSERT_TRUE(play->isEnabled());
    // ...then the movie goes, and the button is pressed before the next refresh.
    EXPECT_FALSE(view->OpenMovieFile(MovieBytes("random.avi")) == 0);
    play->trigger();
    EXPECT_EQ(engine->GetPlayState(), -1);
    // Keys bound to commands nothing handles do nothing either.
    const int volume = engine->GetVolume();
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_V, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier},
                                         {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_F6, Qt::NoModifier}})
        QTest::keyClick(frame, key, modifiers);
    EXPECT_EQ(engine->GetPlayState(), -1);
    EXPECT_EQ(engine->GetVolume(), volume);
}

}  // namespace
}  // namespace playertest
