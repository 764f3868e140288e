#pragma once
// How the engine and the view tell the user about a failure: a modal
// message box with the program's name as caption and an OK button. Tests
// install their own notifier to capture the texts instead.

#include <QString>

namespace engine {

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void Show(const QString& text) = 0;
};

// Shows `text` through the current notifier.
void ShowMessage(const QString& text);

// Replaces the notifier; null brings back the message box. Returns the
// previous one.
Notifier* SetNotifier(Notifier* notifier);

}  // namespace engine
