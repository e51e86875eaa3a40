#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace portauth::nm {

// When a wait ends at the latest: monotonic microseconds, as GLib counts
// them, and the run's whole time, for the message that tells it.
struct Deadline {
    std::int64_t at;
    long long seconds;
};

// The time one run may take, but for the user's typing: every wait on
// NetworkManager or the supplicant ends by its deadline.
class Budget {
public:
    explicit Budget(std::chrono::seconds total);
    void Pause();
    void Resume();
    Deadline Whole() const { return {deadline_, seconds_}; }
    // Following an activation stops earlier, so that taking the run back
    // still fits in the whole.
    Deadline ForFollowing() const;

private:
    long long seconds_;
    std::int64_t deadline_;
    std::int64_t pausedAt_ = 0;
};

// SIGINT, SIGTERM and SIGHUP while they live: caught, so that a run that
// has begun to write ends by taking its own work back, not halfway.
class Interrupts {
public:
    Interrupts();
    ~Interrupts();
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;
    // The signal caught first, or 0.
    int Caught() const { return caught_; }

private:
    struct Watch {
        Interrupts* owner;
        int signal;
        unsigned source;
    };
    std::vector<Watch> watches_;
    int caught_ = 0;
};

} // namespace portauth::nm
