#pragma once

#include <random>

namespace platform {

// The pseudo-random generator: reseeded from the clock (seconds since midnight) and drawn as
// uniform values in [0, 1).
class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual void reseedFromTimer() = 0;
    virtual double next() = 0;  // uniform in [0, 1)
};

// The real generator. Reseeding mixes the seconds since midnight with a per-process sequence, so
// names drawn in the same second still differ.
class SystemRandom : public RandomSource {
  public:
    SystemRandom();
    void reseedFromTimer() override;
    double next() override;

  private:
    std::mt19937_64 engine_;
    unsigned long long reseeds_ = 0;
};

}  // namespace platform
