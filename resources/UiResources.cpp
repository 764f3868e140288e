#include "resources/UiResources.h"

#include <QStringList>
#include <algorithm>

namespace ui {

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {ID_VIEW_TOPMOST, "ID_VIEW_TOPMOST", "常に手前に表示する", nullptr},
        {ID_PLAY, "ID_PLAY", "再生する", "再生する\n再生"},
        {ID_PAUSE, "ID_PAUSE", "一時停止する", "一時停止する\n中断"},
        {ID_STOP, "ID_STOP", "停止する", "再生を停止する\n停止"},
        {ID_SPEED_HALF, "ID_SPEED_HALF", "1/2のスピード", nullptr},
        {ID_SPEED_NORMAL, "ID_SPEED_NORMAL", "通常のスピード", nullptr},
        {ID_SPEED_DOUBLE, "ID_SPEED_DOUBLE", "2倍のスピード", nullptr},
        {ID_SIZE_HALF, "ID_SIZE_HALF", "1/2のサイズ", nullptr},
        {ID_SIZE_NORMAL, "ID_SIZE_NORMAL", "通常のサイズ", nullptr},
        {ID_SIZE_DOUBLE, "ID_SIZE_DOUBLE", "2倍のサイズ", nullptr},
        {ID_TIME_DISPLAY, "ID_TIME_DISPLAY", "時間表示の切り替え", nullptr},
        {ID_GO_START, "ID_GO_START", "最初に移動する", "再生位置を最初にもどす\n最初"},
        {ID_GO_END, "ID_GO_END", "最後に移動する", "再生位置を最後に移動する\n最後"},
        {ID_VOLUME_UP, "ID_VOLUME_UP", "音量を上げる", "音量を上げる\n音上"},
        {ID_VOLUME_DOWN, "ID_VOLUME_DOWN", "音量を下げる", "音量を下げる\n音下"},
        {ID_VOLUME_MUTE, "ID_VOLUME_MUTE", "ミュート", nullptr},
        {ID_REVERSE_PLAY, "ID_REVERSE_PLAY", nullptr, "逆転再生する\n逆再"},
        {ID_AUTO_REPLAY, "ID_AUTO_REPLAY", "連続再生する", "連続再生する\n連続"},
        {ID_VIEW_SCROLL, "ID_VIEW_SCROLL", "ﾋﾞｭｰｽｸﾛｰﾙ(&V)", nullptr},
        {ID_VIEW_SCROLLBAR, "ID_VIEW_SCROLLBAR", "ｽｸﾛｰﾙﾊﾞｰ(&H)", nullptr},
        {ID_FULL_SCREEN, "ID_FULL_SCREEN", "フルスクリーンにする", nullptr},
        {ID_STEP_FORWARD, "ID_STEP_FORWARD", nullptr, nullptr},
        {ID_STEP_BACK, "ID_STEP_BACK", nullptr, nullptr},
        {ID_SKIP_FORWARD, "ID_SKIP_FORWARD", nullptr, nullptr},
        {ID_SKIP_BACK, "ID_SKIP_BACK", nullptr, nullptr},
        {ID_PAGE_FORWARD, "ID_PAGE_FORWARD", nullptr, nullptr},
        {ID_PAGE_BACK, "ID_PAGE_BACK", nullptr, nullptr},
        {ID_LEAVE_FULL_SCREEN, "ID_LEAVE_FULL_SCREEN", nullptr, nullptr},
        {ID_DEINTERLACE_AUTO, "ID_DEINTERLACE_AUTO", "自動で解除する", "インターレースの映像だけを解除する\n自動解除"},
        {ID_DEINTERLACE_ON, "ID_DEINTERLACE_ON", "常に解除する", "すべての映像をインターレース解除する\n常に解除"},
        {ID_DEINTERLACE_OFF, "ID_DEINTERLACE_OFF", "解除しない", "映像をそのまま表示する\n解除しない"},
        {ID_SOUND_TRACK1, "ID_SOUND_TRACK1", "音声トラックなし", "音声トラックを切り替える\n音声"},
        {ID_SUBTITLE_OFF, "ID_SUBTITLE_OFF", "字幕を表示しない", "字幕を表示しない\n字幕なし"},
        {ID_SUBTITLE_TRACK1, "ID_SUBTITLE_TRACK1", "字幕トラックなし", "字幕を切り替える\n字幕"},
        {ID_SUBTITLE_OPEN, "ID_SUBTITLE_OPEN", "字幕ファイルを開く(&U)...", "字幕ファイルを読み込んで表示する\n字幕を開く"},
        {ID_FILE_OPEN, "ID_FILE_OPEN", "ムービーファイルを開く(&O)", "ムービーを再生する\n開く"},
        {ID_FILE_MRU_FILE1, "ID_FILE_MRU_FILE1", "最近使ったﾌｧｲﾙ", "指定のﾌｧｲﾙを開く"},
        {ID_EDIT_COPY, "ID_EDIT_COPY", "現在のフレームをコピー", "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存\nｺﾋﾟｰ"},
        {ID_EDIT_CUT, "ID_EDIT_CUT", nullptr, nullptr},
        {ID_EDIT_PASTE, "ID_EDIT_PASTE", nullptr, nullptr},
        {ID_EDIT_UNDO, "ID_EDIT_UNDO", nullptr, nullptr},
        {ID_APP_ABOUT, "ID_APP_ABOUT", "Reelscope のﾊﾞｰｼﾞｮﾝ情報(&A)...",
         "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示\nﾊﾞｰｼﾞｮﾝ情報"},
        {ID_APP_EXIT, "ID_APP_EXIT", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\n終了"},
        {ID_NEXT_PANE, "ID_NEXT_PANE", nullptr, nullptr},
        {ID_PREV_PANE, "ID_PREV_PANE", nullptr, nullptr},
        {ID_VIEW_TOOLBAR, "ID_VIEW_TOOLBAR", "ﾂｰﾙ ﾊﾞｰ(&T)", "ﾂｰﾙ ﾊﾞｰの 表示/非表示\nﾂｰﾙ ﾊﾞｰの表示切り替え"},
        {ID_VIEW_STATUS_BAR, "ID_VIEW_STATUS_BAR", "ｽﾃｰﾀｽ ﾊﾞｰ(&S)", "ｽﾃｰﾀｽ ﾊﾞｰの 表示/非表示\nｽﾃｰﾀｽ ﾊﾞｰの表示切り替え"},
    };
    return commands;
}

const Command* FindCommand(int id)
{
    const auto& all = Commands();
    const auto it = std::find_if(all.begin(), all.end(), [id](const Command& c) { return c.id == id; });
    return it == all.end() ? nullptr : &*it;
}

QString MenuText(int id)
{
    const Command* c = FindCommand(id);
    return c && c->menuText ? QString::fromUtf8(c->menuText) : QString();
}

QString Tooltip(int id)
{
    const Command* c = FindCommand(id);
    if (!c || !c->prompt) return {};
    const QString s = QString::fromUtf8(c->prompt);
    const qsizetype nl = s.indexOf(QLatin1Char('\n'));
    return nl < 0 ? QString() : s.mid(nl + 1);
}

QString Prompt(int id)
{
    const Command* c = FindCommand(id);
    if (!c || !c->prompt) return {};
    return QString::fromUtf8(c->prompt).section(QLatin1Char('\n'), 0, 0);
}

namespace {

MenuItem Item(int id, bool checked = false)
{
    return MenuItem{MenuItem::Item, id, nullptr, checked, {}};
}

MenuItem Separator()
{
    return MenuItem{MenuItem::Separator, 0, nullptr, false, {}};
}

MenuItem Popup(const char* text, std::vector<MenuItem> children)
{
    return MenuItem{MenuItem::Popup, 0, text, false, std::move(children)};
}

MenuItem SpeedMenu()
{
    return Popup("再生速度", {Item(ID_SPEED_HALF), Item(ID_SPEED_NORMAL), Item(ID_SPEED_DOUBLE)});
}

MenuItem VolumeMenu()
{
    return Popup("音量の設定", {Item(ID_VOLUME_UP), Item(ID_VOLUME_DOWN), Item(ID_VOLUME_MUTE, true)});
}

MenuItem SoundMenu()
{
    return Popup("音声トラック", {Item(ID_SOUND_TRACK1)});
}

MenuItem SubtitleMenu()
{
    return Popup("字幕", {Item(ID_SUBTITLE_OFF), Separator(), Item(ID_SUBTITLE_TRACK1), Separator(),
                          Item(ID_SUBTITLE_OPEN)});
}

MenuItem DeinterlaceMenu()
{
    return Popup("インターレース解除", {Item(ID_DEINTERLACE_AUTO), Item(ID_DEINTERLACE_ON), Item(ID_DEINTERLACE_OFF)});
}

MenuItem SizeMenu()
{
    return Popup("表示サイズ", {Item(ID_SIZE_HALF), Item(ID_SIZE_NORMAL), Item(ID_SIZE_DOUBLE)});
}

}  // namespace

const std::vector<CommandRange>& CommandRanges()
{
    static const std::vector<CommandRange> ranges = {{ID_SOUND_TRACK1, ID_SOUND_TRACK_LAST},
                                                     {ID_SUBTITLE_TRACK1, ID_SUBTITLE_TRACK_LAST}};
    return ranges;
}

const CommandRange* RangeOf(int id)
{
    for (const CommandRange& range : CommandRanges())
        if (id >= range.first && id <= range.last) return &range;
    return nullptr;
}

const std::vector<MenuItem>& MainMenu()
{
    static const std::vector<MenuItem> menu = {
        Popup("ﾌｧｲﾙ(&F)",
              {Item(ID_FILE_OPEN), Separator(), Item(ID_FILE_MRU_FILE1), Separator(), Item(ID_APP_EXIT)}),
        // The only top menu without an access key in the design: without
        // one it cannot be reached from the keyboard.
        Popup("操作(&O)", {Item(ID_EDIT_COPY), Separator(), Item(ID_PLAY), Item(ID_PAUSE), Item(ID_STOP), Separator(),
                       SpeedMenu(), VolumeMenu(), SoundMenu(), SubtitleMenu(), Separator(), Item(ID_GO_START),
                       Item(ID_GO_END),
                       Item(ID_AUTO_REPLAY, true)}),
        Popup("表示(&V)", {Item(ID_VIEW_TOOLBAR), Item(ID_VIEW_STATUS_BAR), Item(ID_VIEW_SCROLLBAR),
                           Item(ID_VIEW_SCROLL), Separator(), SizeMenu(), Item(ID_TIME_DISPLAY), DeinterlaceMenu(), Separator(),
                           Item(ID_FULL_SCREEN), Item(ID_VIEW_TOPMOST, true)}),
        Popup("ﾍﾙﾌﾟ(&H)", {Item(ID_APP_ABOUT)}),
    };
    return menu;
}

const MenuItem& ContextMenu()
{
    static const MenuItem menu =
        Popup("POPUP", {Item(ID_FILE_OPEN), Item(ID_EDIT_COPY), Separator(), Item(ID_PLAY), Item(ID_PAUSE),
                        Item(ID_STOP), Separator(), Item(ID_GO_START), Item(ID_GO_END), Item(ID_AUTO_REPLAY, true),
                        Separator(), SizeMenu(), SpeedMenu(), VolumeMenu(), Separator(), Item(ID_TIME_DISPLAY),
                        Item(ID_FULL_SCREEN), Item(ID_VIEW_TOPMOST, true)});
    return menu;
}

const std::vector<int>& ToolbarButtons()
{
    static const std::vector<int> buttons = {ID_FILE_OPEN, 0,           ID_PLAY,      ID_PAUSE,     ID_STOP,
                                             0,            ID_GO_START, ID_GO_END,    0,            ID_VOLUME_UP,
                                             ID_VOLUME_DOWN, 0,         ID_EDIT_COPY};
    return buttons;
}

const std::vector<Accelerator>& Accelerators()
{
    // Only the copy keys do anything; the others name editing and pane
    // commands that nothing handles, so they are disabled and do nothing.
    static const std::vector<Accelerator> keys = {
        {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
        {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
        {QKeySequence(Qt::Key_F6), ID_NEXT_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
        {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
    };
    return keys;
}

const std::vector<Accelerator>& PlayerKeys()
{
    static const std::vector<Accelerator> keys = {
        {QKeySequence(Qt::Key_Space), ID_PAUSE},
        {QKeySequence(Qt::Key_Right), ID_STEP_FORWARD},
        {QKeySequence(Qt::Key_Left), ID_STEP_BACK},
        {QKeySequence(Qt::SHIFT | Qt::Key_Right), ID_SKIP_FORWARD},
        {QKeySequence(Qt::SHIFT | Qt::Key_Left), ID_SKIP_BACK},
        {QKeySequence(Qt::Key_PageDown), ID_PAGE_FORWARD},
        {QKeySequence(Qt::Key_PageUp), ID_PAGE_BACK},
        {QKeySequence(Qt::Key_Home), ID_GO_START},
        {QKeySequence(Qt::Key_End), ID_GO_END},
        {QKeySequence(Qt::Key_Up), ID_VOLUME_UP},
        {QKeySequence(Qt::Key_Down), ID_VOLUME_DOWN},
        {QKeySequence(Qt::Key_M), ID_VOLUME_MUTE},
        {QKeySequence(Qt::Key_F), ID_FULL_SCREEN},
        {QKeySequence(Qt::Key_Return), ID_FULL_SCREEN},
        {QKeySequence(Qt::Key_Enter), ID_FULL_SCREEN},
        {QKeySequence(Qt::Key_Escape), ID_LEAVE_FULL_SCREEN},
    };
    return keys;
}

QStringList MovieNameFilters()
{
    // "name|patterns|name|patterns||" -> "name (patterns with spaces)".
    const QStringList parts = QString::fromUtf8(kMovieFilter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

}  // namespace ui
