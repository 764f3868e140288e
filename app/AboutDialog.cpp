#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "resources/UiResources.h"

namespace app {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(ui::kAboutCaption));
    setModal(true);
    // Icon at the left, the two lines beside it, OK at the top right.
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QString::fromLatin1(ui::kIconPicture)));
    auto* version = new QLabel(QString::fromLatin1(ui::kAboutVersion), this);
    version->setTextFormat(Qt::PlainText);  // no prefix processing
    auto* rights = new QLabel(QString::fromLatin1(ui::kAboutRights), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 12, 12, 14);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(rights, 1, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    setFixedSize(sizeHint());
}

}  // namespace app
