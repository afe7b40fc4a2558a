#include "CBugReportWindow.h"

#include "ReportPageFile.h"

#include "dbx/DisplayText.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

CBugReportWindow::CBugReportWindow(const QByteArray& page, bool deletedOnClose, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Quillmend Bug Report"));
    resize(620, 460);

    auto* heading = new QLabel(tr("<b>Quillmend encounters error, program will be terminated.</b>"), this);
    QString text = tr("Quillmend has ended. The following information is the running log of Quillmend; it could "
                      "help to solve this bug quickly and easily. Nothing is sent anywhere: copy the report or save "
                      "it as a file to pass it on.");
    if (deletedOnClose)
        text += QLatin1Char(' ') + tr("It is deleted when this window closes.");
    auto* explanation = new QLabel(text, this);
    explanation->setWordWrap(true);

    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    status_ = new QLabel(this);
    auto* buttons = new QDialogButtonBox(this);
    copy_ = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    save_ = buttons->addButton(tr("&Save As..."), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    connect(copy_, &QPushButton::clicked, this, &CBugReportWindow::OnCopy);
    connect(save_, &QPushButton::clicked, this, &CBugReportWindow::OnSaveAs);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(explanation);
    layout->addWidget(text_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    if (ExtractReportText(page, reportBytes_)) {
        QString shown = QString::fromStdString(dbx::ToDisplayUtf8(reportBytes_.toStdString()));
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text_->setPlainText(shown);
    } else {
        status_->setText(tr("No crash report was found."));
        copy_->setEnabled(false);
        save_->setEnabled(false);
    }
    close->setFocus();
}

QString CBugReportWindow::ReportText() const
{
    return text_->toPlainText();
}

bool CBugReportWindow::SaveTo(const QString& path) const
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(reportBytes_) == reportBytes_.size() && file.commit();
}

void CBugReportWindow::OnCopy()
{
    QGuiApplication::clipboard()->setText(ReportText());
    status_->setText(tr("The report is on the clipboard."));
}

void CBugReportWindow::OnSaveAs()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Bug Report"),
                                                      QDir::home().filePath(QStringLiteral("quillmend-bug-report.txt")),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    status_->setText(SaveTo(path) ? tr("Saved to %1.").arg(QDir::toNativeSeparators(path))
                                  : tr("Could not save to %1.").arg(QDir::toNativeSeparators(path)));
}
