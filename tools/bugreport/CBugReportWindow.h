#pragma once
// The report program's window: shows the crash report of the program that
// just failed and lets the user copy it or save it as a file. It sends
// nothing anywhere.

#include <QByteArray>
#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class CBugReportWindow : public QDialog {
public:
    // `page`: the report page's bytes; empty when none could be read.
    // `deletedOnClose`: the page goes when the window closes (the user is
    // told to copy or save it first).
    explicit CBugReportWindow(const QByteArray& page, bool deletedOnClose = true, QWidget* parent = nullptr);

    // The report as shown (empty when the page had none).
    QString ReportText() const;
    // Writes the report's bytes, as the page holds them, to `path`; false
    // when that failed.
    bool SaveTo(const QString& path) const;

    QPlainTextEdit& TextView() { return *text_; }
    QPushButton& CopyButton() { return *copy_; }
    QPushButton& SaveButton() { return *save_; }

    // Puts the report on the clipboard.
    void OnCopy();
    // Asks for a file name and saves the report there.
    void OnSaveAs();

private:
    QByteArray reportBytes_;
    QPlainTextEdit* text_;
    QLabel* status_;
    QPushButton* copy_;
    QPushButton* save_;
};
