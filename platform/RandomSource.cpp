#include "platform/RandomSource.h"

#include <QTime>
#include <chrono>

namespace platform {

SystemRandom::SystemRandom() { reseedFromTimer(); }

void SystemRandom::reseedFromTimer() {
    const auto secondsSinceMidnight =
        static_cast<unsigned long long>(QTime::currentTime().msecsSinceStartOfDay());
    const auto clock = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seq{secondsSinceMidnight, clock, ++reseeds_};
    engine_.seed(seq);
}

double SystemRandom::next() { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

}  // namespace platform
