#include "elevation/uBILProgress.h"

#include <algorithm>

namespace bil {

Steps::Steps(Progress progress, Doing doing, int64_t total)
    : progress(std::move(progress)), doing(doing), total(std::max<int64_t>(total, 1))
{
}

void Steps::on(const QString &name)
{
    const std::lock_guard<std::mutex> hold(lock);
    file = name;
}

void Steps::advance(int64_t n)
{
    if (!progress) return;
    const std::lock_guard<std::mutex> hold(lock);
    done += n;
    if (!stopped) stopped = !progress(doing, file, std::min(1.0, double(done) / double(total)));
    if (stopped) throw Cancelled();
}

} // namespace bil
