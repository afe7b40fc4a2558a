#include "ui/CDiskPickerDlg.h"

#include "res/Strings.h"
#include "res/resource.h"
#include "ui/EnginePath.h"
#include "ui/SizeText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kDeviceRole = Qt::UserRole + 1;  // index into the devices

} // namespace

CDiskPickerDlg::CDiskPickerDlg(const std::vector<platform::BlockDevice>& devices, QWidget* owner)
    : QDialog(owner), devices_(devices), list_(new QTreeWidget(this)), note_(new QLabel(this)), read_(nullptr)
{
    setObjectName(QStringLiteral("disk_picker"));
    setWindowTitle(res::Text(IDS_DISKS_TITLE));
    auto* intro = new QLabel(res::Text(IDS_DISKS_INTRO), this);
    intro->setWordWrap(true);
    list_->setObjectName(QStringLiteral("disks"));
    list_->setColumnCount(4);
    list_->setHeaderLabels({res::Text(IDS_DISKS_COLUMN_DEVICE), res::Text(IDS_DISKS_COLUMN_SIZE),
                            res::Text(IDS_DISKS_COLUMN_MODEL), res::Text(IDS_DISKS_COLUMN_MOUNTED)});
    list_->setRootIsDecorated(true);
    list_->setAllColumnsShowFocus(true);
    list_->setUniformRowHeights(true);
    QTreeWidgetItem* disk = nullptr;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const platform::BlockDevice& d = devices_[i];
        QStringList mounts;
        for (const std::string& m : d.mountPoints)
            mounts << ui::ShownPath(m);
        const QStringList cells{ui::ShownPath(d.path), ui::SizeText(d.size), QString::fromStdString(d.model),
                                mounts.join(QStringLiteral(", "))};
        // A partition goes under the disk listed before it.
        auto* item = d.partition && disk ? new QTreeWidgetItem(disk, cells) : new QTreeWidgetItem(list_, cells);
        if (!d.partition)
            disk = item;
        item->setData(0, kDeviceRole, static_cast<int>(i));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    list_->expandAll();
    for (int c = 0; c < list_->columnCount(); ++c)
        list_->resizeColumnToContents(c);
    note_->setText(res::Text(IDS_DISKS_NONE));
    note_->setWordWrap(true);
    note_->setVisible(devices_.empty());
    list_->setVisible(!devices_.empty());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    read_ = buttons->addButton(res::Text(IDS_DISKS_READ), QDialogButtonBox::AcceptRole);
    read_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(list_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { read_->setEnabled(current != nullptr); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(list_);
    layout->addWidget(note_);
    layout->addWidget(buttons);
    resize(640, 360);
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    read_->setEnabled(list_->currentItem() != nullptr);
}

CDiskPickerDlg::~CDiskPickerDlg() = default;

std::string CDiskPickerDlg::ChosenPath() const
{
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item)
        return {};
    const int i = item->data(0, kDeviceRole).toInt();
    return i >= 0 && static_cast<std::size_t>(i) < devices_.size() ? devices_[static_cast<std::size_t>(i)].path
                                                                    : std::string();
}
