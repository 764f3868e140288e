#pragma once
// The about box: the emblem, the version and a notice of rights, and OK.

#include <QDialog>

namespace app {

class AboutDialog : public QDialog {
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace app
