#pragma once
// The status bar's three panes: the state, which stretches, then the
// counter's label and the counter, each as wide as its template text. They
// are laid out from the left like a row of fixed boxes, so a frame too
// narrow for all three cuts the right-hand ones off at its edge; they never
// squeeze or overlap.

#include <QLabel>
#include <QWidget>

namespace app {

class StatusPanes : public QWidget {
public:
    static constexpr int kCount = 3;

    // `templates`: the texts whose widths the panes take.
    StatusPanes(const char* const (&templates)[kCount], QWidget* parent);

    QLabel* Pane(int index) const { return index >= 0 && index < kCount ? m_panes[index] : nullptr; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_panes[kCount] = {};
};

}  // namespace app
