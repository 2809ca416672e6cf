#include "mainwindow/uBackgroundWork.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <exception>
#include <memory>
#include <mutex>

bool TBackgroundWork::run(bil::Doing doing, const QString &file,
                          const std::function<void(const bil::Progress &)> &work)
{
    std::atomic<bool> stop{false};
    // The latest report, read here ten times a second rather than sent at each band.
    struct
    {
        std::mutex lock;
        bil::Doing doing;
        QString file;
        double done = 0;
    } latest{{}, doing, file};
    const bil::Progress progress = [&](bil::Doing d, const QString &f, double done) {
        const std::lock_guard<std::mutex> hold(latest.lock);
        latest.doing = d;
        latest.file = f;
        latest.done = done;
        return !stop.load();
    };

    std::exception_ptr failure;
    bool cancelled = false;
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work(progress);
        } catch (const bil::Cancelled &) {
            cancelled = true;
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    QTimer tick;
    tick.setInterval(100);
    connect(&tick, &QTimer::timeout, this, [&] {
        if (clock.elapsed() < QuietMilliseconds) return;
        std::unique_lock<std::mutex> hold(latest.lock);
        const bil::Doing d = latest.doing;
        const QString f = latest.file;
        const double done = latest.done;
        hold.unlock();
        emit progressed(d, f, done);
    });
    stopFlag = &stop;
    clock.start();
    tick.start();
    thread->start();
    loop.exec();
    thread->wait();
    stopFlag = nullptr;
    emit ended();
    if (failure) std::rethrow_exception(failure);
    return !cancelled;
}

void TBackgroundWork::cancel()
{
    if (stopFlag) stopFlag->store(true);
}
