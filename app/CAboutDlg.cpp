#include "CAboutDlg.h"

#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Quillmend"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(res::LoadIcon(IDR_MAINFRAME).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    auto* name = new QLabel(tr("About Quillmend v1.1"), this);
    name->setObjectName(QStringLiteral("name"));
    auto* notice = new QLabel(res::Text(IDS_NOTICE), this);
    notice->setObjectName(QStringLiteral("notice"));

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Icon at the left, the two lines beside it, OK at the top right.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(20, 16, 12, 16);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    grid->addWidget(icon, 0, 0, 2, 1);
    grid->addWidget(name, 0, 1);
    grid->addWidget(notice, 1, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    setFixedSize(sizeHint().expandedTo(QSize(446, 83)));
}
