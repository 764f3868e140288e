#include "engine/Notifier.h"

#include <QApplication>
#include <QMessageBox>

namespace engine {
namespace {

class MessageBoxNotifier final : public Notifier {
public:
    void Show(const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Reelscope"), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }
};

MessageBoxNotifier g_messageBox;
Notifier* g_notifier = nullptr;

}  // namespace

void ShowMessage(const QString& text)
{
    (g_notifier ? g_notifier : &g_messageBox)->Show(text);
}

Notifier* SetNotifier(Notifier* notifier)
{
    Notifier* previous = g_notifier;
    g_notifier = notifier;
    return previous;
}

}  // namespace engine
