#pragma once
// The window that shows a Save at work: which e-mail is being written, a
// bar, and a Cancel button that stops the save after the current e-mail.
// The writing runs on a worker thread, so the window stays painted and
// answers; it appears only when a save takes longer than a moment.

#include "app/SaveJob.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class CSaveProgressDlg : public QDialog {
    Q_OBJECT
public:
    // How long a save runs before the window appears.
    static constexpr int kShowDelayMs = 300;

    // Runs `job` on a worker thread and returns when it has ended. Until
    // then the window (modal, owned by `owner`) shows its progress once
    // kShowDelayMs have passed; before that user input waits.
    static void Run(QWidget* owner, app::SaveJob& job);

    CSaveProgressDlg(QWidget* owner, app::SaveJob& job);
    ~CSaveProgressDlg() override;

    // Cancel button, Esc and the close box: asks the job to stop after the
    // current e-mail. The window closes once the job has ended.
    void reject() override;

    QPushButton* CancelButton() const { return cancel_; }
    QProgressBar* ProgressBar() const { return bar_; }
    QLabel* Label() const { return label_; }

signals:
    // The job has ended (queued from the worker thread).
    void jobEnded();

private:
    void Refresh();
    void OnJobEnded();

    app::SaveJob& job_;
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    bool ended_ = false;
};
