#include "app/CarveJob.h"

namespace app {

// The carver's progress, kept where the window can read it.
class CarveJob::Sink final : public dbx::ICarveProgress {
public:
    explicit Sink(CarveJob& job) : job_(job) {}

    void Reading(std::uint64_t done, std::uint64_t total, std::uint64_t, std::uint64_t files) override
    {
        job_.total_.store(total);
        job_.files_.store(files);
        job_.done_.store(done);
        if (done >= total)
            job_.reading_.store(false);
    }
    bool Stopped() override { return job_.cancel_.load(); }

private:
    CarveJob& job_;
};

CarveJob::CarveJob() : carver_(std::make_unique<dbx::Carver>()) {}

CarveJob::~CarveJob() = default;

bool CarveJob::Open(const std::string& path)
{
    path_ = path;
    if (!carver_)
        carver_ = std::make_unique<dbx::Carver>();
    if (!carver_->Open(path))
        return false;
    total_.store(carver_->ImageSize());
    return true;
}

void CarveJob::Run()
{
    if (!carver_)
        return;
    Sink sink(*this);
    carver_->Run(sink);
    reading_.store(false);
}

CarveJob::Progress CarveJob::Snapshot() const
{
    Progress p;
    p.done = done_.load();
    p.total = total_.load();
    p.files = files_.load();
    p.reading = reading_.load() && !cancel_.load();
    return p;
}

} // namespace app
