#include "app/StatusPanes.h"

#include <algorithm>

namespace app {
namespace {

// Room between two panes.
constexpr int kGap = 2;

}  // namespace

StatusPanes::StatusPanes(const char* const (&templates)[kCount], QWidget* parent) : QWidget(parent)
{
    for (int i = 0; i < kCount; ++i) {
        auto* label = new QLabel(this);
        // The state has no border; the counter's two panes are sunken.
        label->setFrameStyle(i == 0 ? QFrame::NoFrame : QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString::fromLatin1(templates[i])) +
                               2 * label->frameWidth() + 2 * label->margin() + 6);
        m_panes[i] = label;
    }
}

QSize StatusPanes::sizeHint() const
{
    int width = 0;
    int height = 0;
    for (const QLabel* pane : m_panes) {
        width += pane->minimumWidth() + kGap;
        height = std::max(height, pane->sizeHint().height());
    }
    return QSize(width, height);
}

QSize StatusPanes::minimumSizeHint() const
{
    // Nothing holds the frame wide: what does not fit is cut off.
    return QSize(0, sizeHint().height());
}

void StatusPanes::resizeEvent(QResizeEvent*)
{
    const int fixed = m_panes[1]->minimumWidth() + m_panes[2]->minimumWidth() + 2 * kGap;
    int x = 0;
    for (int i = 0; i < kCount; ++i) {
        const int w = i == 0 ? std::max(m_panes[0]->minimumWidth(), width() - fixed) : m_panes[i]->minimumWidth();
        m_panes[i]->setGeometry(x, 0, w, height());
        x += w + kGap;
    }
}

}  // namespace app
