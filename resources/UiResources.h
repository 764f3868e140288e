#pragma once
// The program's user-interface vocabulary: every command with its menu
// text and its prompt/tooltip string, the main menu and the context menu
// item by item, the toolbar, the accelerators and the other strings. The
// texts are the program's own, exactly as it shows them.

#include <QKeySequence>
#include <QString>
#include <vector>

#include "resources/CommandIds.h"

namespace ui {

struct Command {
    int id;
    const char* name;      // the identifier's name, ID_...
    const char* menuText;  // null for commands that no menu shows
    const char* prompt;    // "prompt\ntooltip", or null when the command has no string
};

// Every command of the program, in identifier order.
const std::vector<Command>& Commands();
const Command* FindCommand(int id);
QString MenuText(int id);
// The part of the command's string after "\n"; empty when it has none.
QString Tooltip(int id);
// The part before "\n".
QString Prompt(int id);

// Ids that stand for the entries of a list which changes as the program
// runs (the tracks of the open movie): the menu holds an item per id from
// `first` to `last`; those the route does not handle are hidden, and
// `first`, with its own menu text, stands grayed for an empty list.
struct CommandRange {
    int first;
    int last;
};
const std::vector<CommandRange>& CommandRanges();
const CommandRange* RangeOf(int id);

struct MenuItem {
    enum Kind { Item, Separator, Popup } kind = Item;
    int id = 0;
    const char* text = nullptr;  // popups and items with their own text
    bool checked = false;        // the check mark before the first update
    std::vector<MenuItem> children;
};

// The menu bar, popup by popup.
const std::vector<MenuItem>& MainMenu();
// The player's context menu: one popup, titled "POPUP".
const MenuItem& ContextMenu();

// Toolbar entries left to right; 0 is a separator. Buttons take their
// pictures from the toolbar strip in the same order.
const std::vector<int>& ToolbarButtons();
inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 15;

struct Accelerator {
    QKeySequence keys;
    int id;
};
const std::vector<Accelerator>& Accelerators();
// The player's own keys, beside the accelerators: play and pause, steps,
// volume and full screen, in the window and in full screen alike.
const std::vector<Accelerator>& PlayerKeys();

// Strings that belong to no command.
inline constexpr const char* kAppName = "Reelscope";
inline constexpr const char* kIndicatorState = "Seekling";   // width of status pane 0
inline constexpr const char* kIndicatorLabel = "Frame";      // width of status pane 1
inline constexpr const char* kIndicatorCounter = "00:00:00"; // width of status pane 2
inline constexpr const char* kAboutCaption = "Reelscopeのﾊﾞｰｼﾞｮﾝ情報";
inline constexpr const char* kAboutVersion = "Reelscope Version 1.20";
inline constexpr const char* kAboutRights = "Copyright (C) 1999-2026 Ostra. All rights reserved.";
// Why the screen stays on, for desktops that list who holds it on.
inline constexpr const char* kInhibitReason = "ムービーの再生中";
inline constexpr const char* kSubtitleFilter = "字幕ファイル (*.srt *.ass *.ssa *.vtt)";
inline constexpr const char* kMovieFilter = "ビデオ ファイル(*.avi,*.asf,*.mpg)|*.avi;*.asf;*.mpg;*.mpeg|All Files (*.*)|*.*||";

// Pictures, as Qt resources.
inline constexpr const char* kIconPicture = ":/reelscope/icon.xpm";
inline constexpr const char* kToolbarPicture = ":/reelscope/toolbar.xpm";
inline constexpr const char* kIdlePicture = ":/reelscope/idle.xpm";

// The file dialog's filter string turned into Qt's name filters.
QStringList MovieNameFilters();

}  // namespace ui
