#include "app/CSaveProgressDlg.h"

#include "platform/ThreadAltStack.h"
#include "res/Strings.h"
#include "res/resource.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <thread>

namespace {

// How often the window looks at the job's progress.
constexpr int kRefreshMs = 50;

} // namespace

CSaveProgressDlg::CSaveProgressDlg(QWidget* owner, app::SaveJob& job)
    : QDialog(owner), job_(job), label_(new QLabel(this)), bar_(new QProgressBar(this)),
      cancel_(nullptr)
{
    setObjectName(QStringLiteral("save_progress"));
    setWindowTitle(res::Text(IDS_SAVE_PROGRESS_TITLE));
    setModal(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel_ = buttons->button(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSaveProgressDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addWidget(buttons);
    label_->setMinimumWidth(360);
    bar_->setRange(0, std::max(1, job_.Total()));
    connect(this, &CSaveProgressDlg::jobEnded, this, &CSaveProgressDlg::OnJobEnded, Qt::QueuedConnection);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CSaveProgressDlg::Refresh);
    timer->start(kRefreshMs);
    Refresh();
}

CSaveProgressDlg::~CSaveProgressDlg() = default;

void CSaveProgressDlg::Run(QWidget* owner, app::SaveJob& job)
{
    CSaveProgressDlg dialog(owner, job);
    std::thread worker([&job, &dialog] {
        platform::ThreadAltStack altStack;  // a stack overflow here is reported, too
        job.Run();
        emit dialog.jobEnded();  // queued: handled on the window's thread
    });
    // Most saves end within a moment: no window for them, and no input
    // taken meanwhile (a second click on Save waits until this one is over).
    QEventLoop wait;
    connect(&dialog, &CSaveProgressDlg::jobEnded, &wait, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(kShowDelayMs, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    if (!dialog.ended_)
        dialog.exec();
    worker.join();
}

void CSaveProgressDlg::Refresh()
{
    const int done = job_.Done();
    bar_->setValue(done);
    if (job_.Flushing())
        label_->setText(res::Text(IDS_SAVE_FLUSHING));
    else if (job_.CancelRequested())
        label_->setText(res::Text(IDS_SAVE_CANCELLING));
    else
        label_->setText(res::Format(IDS_SAVE_PROGRESS, {QString::number(std::min(done + 1, job_.Total())),
                                                        QString::number(job_.Total())}));
    cancel_->setEnabled(!job_.Flushing() && !job_.CancelRequested());
}

void CSaveProgressDlg::reject()
{
    if (ended_) {
        QDialog::reject();
        return;
    }
    job_.Cancel();
    Refresh();
}

void CSaveProgressDlg::OnJobEnded()
{
    ended_ = true;
    Refresh();
    if (isVisible())
        accept();
}
