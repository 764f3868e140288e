#pragma once
// Command identifiers. The numbers are the program's own and are kept as
// they always were: settings, menus and the routing all name commands by
// them.

enum CommandId : int {
    ID_VIEW_TOPMOST = 32771,
    ID_PLAY = 32773,
    ID_PAUSE = 32774,
    ID_STOP = 32775,
    ID_SPEED_HALF = 32776,
    ID_SPEED_NORMAL = 32777,
    ID_SPEED_DOUBLE = 32778,
    ID_SIZE_HALF = 32779,
    ID_SIZE_NORMAL = 32780,
    ID_SIZE_DOUBLE = 32781,
    ID_TIME_DISPLAY = 32782,
    ID_GO_START = 32784,
    ID_GO_END = 32786,
    ID_VOLUME_UP = 32787,
    ID_VOLUME_DOWN = 32788,
    ID_VOLUME_MUTE = 32789,
    ID_REVERSE_PLAY = 32793,
    ID_AUTO_REPLAY = 32795,
    ID_VIEW_SCROLL = 32797,
    ID_VIEW_SCROLLBAR = 32798,
    ID_FULL_SCREEN = 32799,
    // The player's keys beyond the menus: frame by frame and second by
    // second, the seek bar's page step, and leaving full screen.
    ID_STEP_FORWARD = 33001,
    ID_STEP_BACK = 33002,
    ID_SKIP_FORWARD = 33003,
    ID_SKIP_BACK = 33004,
    ID_PAGE_FORWARD = 33005,
    ID_PAGE_BACK = 33006,
    ID_LEAVE_FULL_SCREEN = 33007,
    // The sound tracks and subtitles of the open movie: one id per track in
    // the menu's order, as the recent files have one per entry.
    ID_SOUND_TRACK1 = 33020,
    ID_SOUND_TRACK_LAST = 33051,
    ID_SUBTITLE_OFF = 33060,
    ID_SUBTITLE_TRACK1 = 33061,
    ID_SUBTITLE_TRACK_LAST = 33124,
    ID_SUBTITLE_OPEN = 33130,
    ID_FILE_OPEN = 57601,
    ID_FILE_MRU_FILE1 = 57616,
    ID_FILE_MRU_LAST = 57631,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};
