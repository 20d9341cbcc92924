#include "xls/draw/WorkSharing.h"

#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace xls::draw {

namespace {

constexpr int kMaxThreads = 4;
constexpr int kMinPiecesEach = 4;

}  // namespace

int helpersFor(int pieces, int threads) {
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const int wanted = threads > 0 ? threads : std::min(cores, kMaxThreads);
    const int poolThreads = QThreadPool::globalInstance()->maxThreadCount();
    return std::clamp(std::min(wanted - 1, poolThreads), 0,
                      std::max(0, pieces / kMinPiecesEach - 1));
}

// The helpers are threads of Qt's shared pool, which live on between calls and so keep the
// glyphs their fonts have cached.
void shareOut(int helpers, const std::function<void(size_t who)>& work) {
    QThreadPool* pool = QThreadPool::globalInstance();
    std::vector<std::exception_ptr> failures(static_cast<size_t>(helpers) + 1);
    auto workCaught = [&](size_t who) {
        try {
            work(who);
        } catch (...) {
            failures[who] = std::current_exception();
        }
    };
    QSemaphore finished;
    std::vector<std::unique_ptr<QRunnable>> tasks;
    for (int i = 0; i < helpers; ++i) {
        tasks.emplace_back(QRunnable::create([&, i] {
            workCaught(static_cast<size_t>(i) + 1);
            finished.release();
        }));
        tasks.back()->setAutoDelete(false);
        pool->start(tasks.back().get());
    }
    workCaught(0);
    int running = 0;
    for (const std::unique_ptr<QRunnable>& task : tasks)
        if (!pool->tryTake(task.get())) ++running;
    finished.acquire(running);
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

}  // namespace xls::draw
