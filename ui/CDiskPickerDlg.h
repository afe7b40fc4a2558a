#pragma once
// The dialog in which a person chooses a disk or partition to read whole
// for lost mail: each disk with its size and model, its partitions below
// it with their sizes and where they are mounted. File dialogs show no
// devices, so this is the way to one.

#include "platform/BlockDevices.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

class CDiskPickerDlg : public QDialog {
    Q_OBJECT
public:
    // Lists `devices` (disks each followed by its partitions), the first one
    // chosen; a note in place of the list when there are none.
    CDiskPickerDlg(const std::vector<platform::BlockDevice>& devices, QWidget* owner = nullptr);
    ~CDiskPickerDlg() override;

    // The device chosen (its path's bytes); empty when none is.
    std::string ChosenPath() const;

    QTreeWidget& List() { return *list_; }
    QPushButton& ReadButton() { return *read_; }
    QLabel& Note() { return *note_; }

private:
    std::vector<platform::BlockDevice> devices_;
    QTreeWidget* list_;
    QLabel* note_;
    QPushButton* read_;
};
