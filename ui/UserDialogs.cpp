#include "ui/UserDialogs.h"

#include "platform/FileNames.h"

#include <QCoreApplication>
#include <QFileDialog>

UserDialogs::~UserDialogs() = default;

UserDialogs& UserDialogs::Default()
{
    static UserDialogs dialogs;
    return dialogs;
}

QString UserDialogs::NameFilter(const QString& extension)
{
    const QString shown = QLatin1Char('*') + extension;
    if (platform::kFileNamesIgnoreCase)
        return shown + QStringLiteral(" (") + shown + QLatin1Char(')');
    // "*.[dD][bB][xX]": both file dialogs (Qt's and the desktop's) read
    // character sets in patterns, so INBOX.DBX shows beside Inbox.dbx.
    QString pattern = QStringLiteral("*");
    for (const QChar c : extension) {
        if (c.toLower() != c.toUpper())
            pattern += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            pattern += c;
    }
    return shown + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

QStringList UserDialogs::OpenFiles(QWidget* owner, const QString& extension)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // The user sees "*.dbx", not the pattern behind it.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(NameFilter(extension));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString UserDialogs::ChooseFolder(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

QString UserDialogs::SaveFile(QWidget* owner, const QString& title, const QString& extension)
{
    QFileDialog dialog(owner, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QLatin1Char('*') + extension + QStringLiteral(" (*") + extension + QLatin1Char(')'));
    dialog.setDefaultSuffix(extension.mid(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString UserDialogs::SaveFileAs(QWidget* owner, const QString& title, const QString& suggestedName)
{
    QFileDialog dialog(owner, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QMessageBox::StandardButton UserDialogs::Ask(QWidget* owner, QMessageBox::Icon icon, const QString& text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, owner);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void UserDialogs::Tell(QWidget* owner, QMessageBox::Icon icon, const QString& text)
{
    Ask(owner, icon, text, QMessageBox::Ok, QMessageBox::Ok);
}
