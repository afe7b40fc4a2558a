#include "CAboutDlg.h"

#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Quillmend"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    // The template's 8-point font: the dialog units below are made for it.
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    const QSize box = ui::DluSize(297, 51);
    setFixedSize(box);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(res::LoadIcon(IDR_MAINFRAME).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    icon->setGeometry(QRect(ui::DluRect(14, 11, 0, 0).topLeft(), QSize(32, 32)));

    auto* name = new QLabel(tr("About Quillmend v1.1"), this);
    name->setObjectName(QStringLiteral("name"));
    name->setGeometry(ui::DluRect(40, 10, 192, 8));

    // One line of the template's height when it fits (it does in English);
    // else wrapped, down to the box's bottom margin at most.
    auto* notice = new QLabel(res::Text(IDS_NOTICE), this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setWordWrap(true);
    notice->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    QRect place = ui::DluRect(40, 25, 195, 8);
    const int lowest = box.height() - ui::DluY(4);
    place.setHeight(std::clamp(notice->heightForWidth(place.width()), place.height(), lowest - place.top()));
    notice->setGeometry(place);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(ui::DluRect(240, 7, 50, 16));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
