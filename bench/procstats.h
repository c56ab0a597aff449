#pragma once

// What the kernel says about this process and the offices it started: memory high-water
// marks and the resident size of soffice.bin children, sampled on a thread of its own.

#include <QtGlobal>

#include <atomic>
#include <thread>

namespace benchstats {

/// VmHWM of this process, in megabytes (the resident peak since it started).
double OwnPeakMegabytes();

/// VmRSS of the process, in megabytes; 0 when it is gone.
double ResidentMegabytes(qint64 pid);

/// The summed VmRSS, in megabytes, of every soffice.bin below this process right now, and
/// how many there are.
double OfficeMegabytes(int* count = nullptr);

/// Samples OfficeMegabytes every 50 ms while it lives; peak() is the largest sum since the
/// last reset.
class OfficeSampler
{
public:
    OfficeSampler();
    ~OfficeSampler();
    double peak() const { return mPeak.load(); }
    void resetPeak() { mPeak.store(0); }

private:
    std::atomic<bool> mStop {false};
    std::atomic<double> mPeak {0};
    std::thread mThread;
};

} // namespace benchstats
