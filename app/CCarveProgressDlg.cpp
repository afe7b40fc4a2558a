#include "app/CCarveProgressDlg.h"

#include "platform/ThreadAltStack.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/EnginePath.h"
#include "ui/SizeText.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <thread>

namespace {

// How often the window looks at the job's progress.
constexpr int kRefreshMs = 100;
// The bar counts in thousandths: a 2 TB disk still moves it every 2 GB.
constexpr int kBarSteps = 1000;

} // namespace

CCarveProgressDlg::CCarveProgressDlg(QWidget* owner, app::CarveJob& job)
    : QDialog(owner), job_(job),
      name_(ui::ShownPath(std::filesystem::path(job.Path()).filename().string())), label_(new QLabel(this)),
      found_(new QLabel(this)), bar_(new QProgressBar(this)), cancel_(nullptr)
{
    setObjectName(QStringLiteral("carve_progress"));
    setWindowTitle(res::Text(IDS_CARVE_PROGRESS_TITLE));
    setModal(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel_ = buttons->button(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCarveProgressDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(found_);
    layout->addWidget(bar_);
    layout->addWidget(buttons);
    label_->setMinimumWidth(460);
    bar_->setRange(0, kBarSteps);
    connect(this, &CCarveProgressDlg::jobEnded, this, &CCarveProgressDlg::OnJobEnded, Qt::QueuedConnection);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CCarveProgressDlg::Refresh);
    timer->start(kRefreshMs);
    clock_.start();
    Refresh();
}

CCarveProgressDlg::~CCarveProgressDlg() = default;

void CCarveProgressDlg::Run(QWidget* owner, app::CarveJob& job)
{
    CCarveProgressDlg dialog(owner, job);
    std::thread worker([&job, &dialog] {
        platform::ThreadAltStack altStack;  // a stack overflow here is reported, too
        job.Run();
        emit dialog.jobEnded();  // queued: handled on the window's thread
    });
    // A small image is read within a moment: no window for it, and no input
    // taken meanwhile.
    QEventLoop wait;
    connect(&dialog, &CCarveProgressDlg::jobEnded, &wait, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(kShowDelayMs, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    if (!dialog.ended_)
        dialog.exec();
    worker.join();
}

QString CCarveProgressDlg::ReadingText(const QString& name, const app::CarveJob::Progress& p, qint64 elapsedMs)
{
    const int percent = p.total ? static_cast<int>(p.done * 100 / p.total) : 100;
    // The rate once it means something: not over the first moment.
    const std::uint64_t rate = elapsedMs >= 200 ? p.done * 1000 / static_cast<std::uint64_t>(elapsedMs) : 0;
    return res::Format(IDS_CARVE_READING, {name, ui::SizeText(p.done), ui::SizeText(p.total),
                                           QString::number(percent), ui::SizeText(rate)});
}

QString CCarveProgressDlg::FoundText(const app::CarveJob::Progress& p)
{
    return res::Format(IDS_CARVE_FOUND, {QString::number(p.files)});
}

void CCarveProgressDlg::Refresh()
{
    const app::CarveJob::Progress p = job_.Snapshot();
    bar_->setValue(p.total ? static_cast<int>(p.done * kBarSteps / p.total) : kBarSteps);
    if (job_.CancelRequested())
        label_->setText(res::Text(IDS_CARVE_CANCELLING));
    else if (!p.reading)
        label_->setText(res::Text(IDS_CARVE_ASSEMBLING));
    else
        label_->setText(ReadingText(name_, p, clock_.elapsed()));
    found_->setText(FoundText(p));
    cancel_->setEnabled(!job_.CancelRequested());
}

void CCarveProgressDlg::reject()
{
    if (ended_) {
        QDialog::reject();
        return;
    }
    job_.Cancel();
    Refresh();
}

void CCarveProgressDlg::OnJobEnded()
{
    ended_ = true;
    Refresh();
    if (isVisible())
        accept();
}
