#pragma once
// The window that shows a disk image or a disk being read for lost mail:
// how much is read, how fast, how many mail files were found so far, a bar
// and a Cancel button that stops the reading and keeps what was found. The
// reading runs on a worker thread, so the window stays painted and answers;
// it appears only when the reading takes longer than a moment.

#include "app/CarveJob.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

class CCarveProgressDlg : public QDialog {
    Q_OBJECT
public:
    // How long the reading runs before the window appears.
    static constexpr int kShowDelayMs = 300;

    // Runs `job` on a worker thread and returns when it has ended. Until
    // then the window (modal, owned by `owner`) shows its progress once
    // kShowDelayMs have passed; before that user input waits.
    static void Run(QWidget* owner, app::CarveJob& job);

    CCarveProgressDlg(QWidget* owner, app::CarveJob& job);
    ~CCarveProgressDlg() override;

    // Cancel button, Esc and the close box: stops the reading (or, once it
    // is over, the listing of the mail files found); what was found so far
    // is still listed. The window closes once the job has ended.
    void reject() override;

    // The texts shown for `progress`, `elapsedMs` after the start: what is
    // read and how fast, and what was found so far.
    static QString ReadingText(const QString& name, const app::CarveJob::Progress& progress, qint64 elapsedMs);
    static QString FoundText(const app::CarveJob::Progress& progress);

    QPushButton* CancelButton() const { return cancel_; }
    QProgressBar* ProgressBar() const { return bar_; }
    QLabel* Label() const { return label_; }
    QLabel* FoundLabel() const { return found_; }

signals:
    // The job has ended (queued from the worker thread).
    void jobEnded();

private:
    void Refresh();
    void OnJobEnded();

    app::CarveJob& job_;
    QString name_;
    QLabel* label_;
    QLabel* found_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    QElapsedTimer clock_;
    bool ended_ = false;
};
