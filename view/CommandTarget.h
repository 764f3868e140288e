#pragma once
// Commands travel by identifier from the menus, the toolbar, the keys and
// the context menus to the first target that handles them: the view, then
// the main frame, then the application. Before a command is shown or
// carried out, the same route asks for its state.

#include <QString>

namespace view {

// The state of one command, as an update handler sets it. A target that
// handles a command but has no update handler leaves it enabled. The text
// is set only for items whose label changes (the tracks of a movie); empty
// keeps the command's own.
struct CommandState {
    bool enabled = true;
    bool checked = false;
    QString text;
    void Enable(bool on) { enabled = on; }
    void SetCheck(bool on) { checked = on; }
    void SetText(const QString& label) { text = label; }
};

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // With `state` null: carry out `id` and answer true when this target
    // handles it. With `state`: fill in the command's state and answer true
    // when this target handles it; nothing is carried out.
    virtual bool OnCmdMsg(int id, CommandState* state) = 0;
};

}  // namespace view
