#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace cli
{

// Work on numbered rows done on every core ahead of the thread that takes each row's result in its turn.
// Rows are started in order and at most a few for each core ahead of the row last taken, so results wait
// in memory for a short while only.
template <typename Result> class RowWorkers
{
public:
    // work(first, end) is run for rows first to end, batch of them at a time (fewer at the end), on the
    // workers' threads, and gives their results in order; it must not throw.
    RowWorkers(std::size_t count, std::size_t batch,
               std::function<std::vector<Result>(std::size_t, std::size_t)> work)
        : mWork(std::move(work)), mResults(count), mBatch(std::max<std::size_t>(batch, 1))
    {
        const int threads = std::max(1, QThread::idealThreadCount());
        mWindow = static_cast<std::size_t>(threads) * std::max(kAheadPerThread, 2 * mBatch);
        for (int t = 0; t < threads; ++t) {
            mThreads.emplace_back(QThread::create([this] { run(); }));
            mThreads.back()->start();
        }
    }

    RowWorkers(const RowWorkers&) = delete;
    RowWorkers& operator=(const RowWorkers&) = delete;

    // Rows not yet started are left; the workers end once their rows in hand are done.
    ~RowWorkers()
    {
        {
            const QMutexLocker lock(&mMutex);
            mStopping = true;
            mRoom.wakeAll();
        }
        for (const std::unique_ptr<QThread>& thread : mThreads)
            thread->wait();
    }

    // The row's result, once done. Each row is taken once, in order.
    Result take(std::size_t row)
    {
        QMutexLocker lock(&mMutex);
        while (!mResults[row])
            mDone.wait(&mMutex);
        Result result = std::move(*mResults[row]);
        mResults[row].reset();
        mTaken = row + 1;
        mRoom.wakeAll();
        return result;
    }

private:
    // Enough to keep a core busy while the taker publishes a row.
    static constexpr std::size_t kAheadPerThread = 8;

    void run()
    {
        QMutexLocker lock(&mMutex);
        for (;;) {
            while (!mStopping && mNext < mResults.size() && mNext >= mTaken + mWindow)
                mRoom.wait(&mMutex);
            if (mStopping || mNext >= mResults.size())
                return;
            const std::size_t first = mNext;
            mNext = std::min(first + mBatch, mResults.size());
            const std::size_t end = mNext;
            lock.unlock();
            std::vector<Result> results = mWork(first, end);
            lock.relock();
            for (std::size_t row = first; row < end; ++row)
                mResults[row] = std::move(results[row - first]);
            mDone.wakeAll();
        }
    }

    std::function<std::vector<Result>(std::size_t, std::size_t)> mWork;
    QMutex mMutex;
    QWaitCondition mDone; // a row's result is in
    QWaitCondition mRoom; // a row was taken, or the workers are to stop
    std::vector<std::optional<Result>> mResults;
    std::size_t mBatch;
    std::size_t mNext = 0;
    std::size_t mTaken = 0;
    std::size_t mWindow = 0;
    bool mStopping = false;
    std::vector<std::unique_ptr<QThread>> mThreads;
};

} // namespace cli
