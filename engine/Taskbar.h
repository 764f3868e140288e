#pragma once
// The desktop's panel, hidden while full screen lasts. On Linux the window
// manager takes panels away for a window in its full-screen state and
// brings them back when it leaves, so the panel the program itself finds is
// none; the seam stays so the rule "hidden while full screen lasts, back
// after, and left hidden if it was hidden before" holds for any panel that
// is put here, and can be checked.

namespace engine {

class Taskbar {
public:
    virtual ~Taskbar() = default;
    // Whether the desktop has such a panel at all.
    virtual bool Exists() = 0;
    // Shows or hides it; answers whether it was visible before.
    virtual bool Show(bool show) = 0;
};

// The panel full-screen windows use; null means none was found.
Taskbar* GetTaskbar();
void SetTaskbar(Taskbar* taskbar);

}  // namespace engine
