#pragma once

#include <services/Interruption.h>
#include <services/reprocess/Join.h>
#include <services/reprocess/RowCache.h>

#include <host/ProgressCallback.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace ertkit {

// Runs `work(i)` for i in [0, items) on `threads` threads; each item counts for what `work`
// returns, `count` in all. The calling thread reports progress as items finish and stops the
// others when the sink asks to.
template <typename Work>
void inParallel(std::size_t items, std::size_t count, unsigned int threads, ProgressCallback& progress, unsigned int progress_base, Work work)
{
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    const auto worker = [&] {
        for (std::size_t i; !stop && (i = next++) < items;) {
            // The last item wakes the reporting thread at once: a small survey would otherwise
            // wait out its tick, longer than the work itself.
            if ((done += work(i)) == count) {
                const std::lock_guard lock(mutex);
                finished.notify_all();
            }
        }
    };
    std::vector<std::jthread> pool;
    const unsigned int n = std::max(1u, std::min<unsigned int>(threads, static_cast<unsigned int>(std::min<std::size_t>(items, 64))));
    for (unsigned int t = 0; t < n; ++t) pool.emplace_back(worker);
    std::size_t shown = 0;
    while (done < count && !stop) {
        {
            std::unique_lock lock(mutex);
            finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done >= count; });
        }
        if (progress.isCancelled()) stop = true;
        if (const std::size_t now = done; now != shown) {
            progress.setPosition(progress_base + static_cast<unsigned int>(now));
            shown = now;
        }
    }
    pool.clear();
    if (stop) throw Interrupted();
    progress.setPosition(progress_base + static_cast<unsigned int>(count));
}

// The results by the voltage start they read, so that each start is filled once; results
// that were not joined go alone. A start's group is cut where its span would pass a few
// million values, so that a long start holding many injections is filled in pieces.
std::vector<std::vector<std::size_t>> groupsByStart(const std::vector<Join>& joins);

// The spans of the voltage and current starts a group reads (the current start of its first
// result: the others read the same start, or fill their own samples).
void groupSpans(const std::vector<Join>& joins, const std::vector<std::size_t>& group, Span& voltage, Span& current);

} // namespace ertkit
