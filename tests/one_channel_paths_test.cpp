// Blocks of one channel run loops of their own (state in registers, resting and held runs written
// without the per-sample rules). Channel 0 of a two-channel instance runs the general loop on the
// same stream: its outputs and states must be the one-channel instance's, bit for bit, from
// ordinary and from odd committed states.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "blocks/counter.h"
#include "blocks/gated_shift_register.h"
#include "blocks/integrate.h"
#include "blocks/pulse_limited_flip_flop.h"
#include "support/block_harness.h"

namespace {

using blockHarness::Harness;
using blockHarness::RegisterFn;
using Frame = std::vector<double>;

constexpr int32_t frameRows = 64;

uint64_t bitsOf(double x) {
    uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Sparse pulses with runs, and the odd NaN, -0.0 and -1.0 (the blocks differ on which are active).
Frame pulses(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> pick(0, 99);
    Frame f(frameRows);
    int run = 0;
    for (double& x : f) {
        const int p = pick(rng);
        if (run > 0) {
            --run;
            x = 1.0;
        } else if (p < 4) {
            run = p * 3;
            x = 1.0;
        } else {
            x = p < 7 ? std::nan("") : p < 9 ? -0.0 : p < 11 ? -1.0 : 0.0;
        }
    }
    return f;
}

Frame values(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> v(-1.0, 1.0);
    Frame f(frameRows);
    for (double& x : f) {
        x = v(rng);
    }
    return f;
}

struct Case {
    const char* name;
    RegisterFn registerType;
    std::function<std::vector<double>(int32_t channels)> params;
    std::vector<bool> pulseInputs;  // per port: pulses, else values
    bool gateIsShared;              // the second port has one element per row (the register's gate)
    // Committed state of channel `channel` of `channels` in discStates, written before the steps.
    std::function<void(double* states, int32_t channels, int32_t channel)> start;
    // Channel `channel`'s committed values, in a fixed order.
    std::function<std::vector<double>(const Harness& h, int32_t channels, int32_t channel)> state;
};

std::vector<double> flipFlopState(const Harness& h, int32_t channels, int32_t channel) {
    const std::vector<double> s = h.discStates();
    return {s[static_cast<size_t>(channel)], s[static_cast<size_t>(channels + channel)]};
}

std::vector<double> countState(const Harness& h, int32_t /*channels*/, int32_t channel) {
    return {h.discStates()[static_cast<size_t>(channel)]};
}

std::vector<double> strided(const Harness& h, int32_t channels, int32_t channel) {
    const std::vector<double> s = h.discStates();
    std::vector<double> out;
    const size_t step = static_cast<size_t>(channels);
    for (size_t k = static_cast<size_t>(channel); k < s.size(); k += step) {
        out.push_back(s[k]);
    }
    out.push_back(static_cast<double>(h.iWork()[0]));
    return out;
}

std::vector<Case> cases() {
    const auto flipFlop = [](double minPulse, double maxOn) {
        return [=](int32_t channels) {
            return std::vector<double>{frameRows, 0, minPulse, maxOn, double(channels), 1};
        };
    };
    const auto latchAndCount = [](double latch, double count) {
        return [=](double* s, int32_t channels, int32_t channel) {
            s[channel] = latch;
            s[channels + channel] = count;
        };
    };
    const auto count = [](double value) {
        return [=](double* s, int32_t, int32_t channel) { s[channel] = value; };
    };
    const auto none = [](double*, int32_t, int32_t) {};
    std::vector<Case> all;
    for (double latch : {0.0, -0.0, 1.0, std::nan("")}) {
        for (double countValue : {0.0, 5.0}) {
            all.push_back({"flip flop, both limits", registerPulseLimitedFlipFlop,
                           flipFlop(7, 20), {true, true}, false,
                           latchAndCount(latch, countValue), flipFlopState});
            all.push_back({"flip flop, maximum only", registerPulseLimitedFlipFlop,
                           flipFlop(0, 9), {true, true}, false, latchAndCount(latch, countValue),
                           flipFlopState});
            all.push_back({"flip flop, minimum only", registerPulseLimitedFlipFlop,
                           flipFlop(6, 0), {true, true}, false, latchAndCount(latch, countValue),
                           flipFlopState});
            all.push_back({"flip flop, no limits", registerPulseLimitedFlipFlop, flipFlop(0, 0),
                           {true, true}, false, latchAndCount(latch, countValue), flipFlopState});
        }
    }
    for (double start : {0.0, 3.0, 2.5, 12.0, -4.0, std::nan("")}) {
        all.push_back({"pulse extend", registerCounter,
                       [](int32_t channels) {
                           return std::vector<double>{frameRows, 0, 0, 1, 1, 3, 1, 0, 0,
                                                      double(channels), 1, -1};
                       },
                       {true}, false, count(start), countState});
        all.push_back({"counting up with reset and load", registerCounter,
                       [](int32_t channels) {
                           return std::vector<double>{frameRows, 0, 1, 1, 0, 7, 1, 10, 0,
                                                      double(channels), 1, -1};
                       },
                       {true, true}, false, count(start), countState});
    }
    all.push_back({"gated shift register", registerGatedShiftRegister,
                   [](int32_t channels) {
                       return std::vector<double>{frameRows, 5, double(channels), 1};
                   },
                   {false, true}, true, none, strided});
    all.push_back({"gated shift register of one stage", registerGatedShiftRegister,
                   [](int32_t channels) {
                       return std::vector<double>{frameRows, 1, double(channels), 1};
                   },
                   {false, true}, true, none, strided});
    for (double window : {10.0, 100.0}) {
        all.push_back({"integrate", registerIntegrate,
                       [window](int32_t channels) {
                           return std::vector<double>{frameRows, 0.25, window, 1,
                                                      double(channels), 1};
                       },
                       {false}, false, none, strided});
    }
    return all;
}

TEST(OneChannelPaths, GiveChannelZeroOfTheGeneralLoop) {
    uint64_t seed = 0;
    for (const Case& c : cases()) {
        // The one-channel instance both through references and reading its inputs straight.
        for (const bool straight : {false, true}) {
            const int32_t ports = static_cast<int32_t>(c.pulseInputs.size());
            Harness one(c.registerType, c.params(1), ports);
            Harness two(c.registerType, c.params(2), ports);
            if (straight) {
                one.wireInputsConsecutively();
            }
            one.initConditions();
            two.initConditions();
            c.start(one.discStateData(), 1, 0);
            c.start(two.discStateData(), 2, 0);
            c.start(two.discStateData(), 2, 1);
            std::mt19937_64 rng(++seed);
            for (int step = 0; step < 8; ++step) {
                std::vector<Frame> oneInputs;
                std::vector<Frame> twoInputs;
                for (int32_t p = 0; p < ports; ++p) {
                    const Frame a = c.pulseInputs[p] ? pulses(rng) : values(rng);
                    const Frame b = c.pulseInputs[p] ? pulses(rng) : values(rng);
                    oneInputs.push_back(a);
                    Frame both = a;
                    if (!(c.gateIsShared && p == 1)) {
                        both.insert(both.end(), b.begin(), b.end());
                    }
                    twoInputs.push_back(both);
                }
                const Frame got = one.step(oneInputs);
                const Frame general = two.step(twoInputs);
                for (int32_t i = 0; i < frameRows; ++i) {
                    const size_t k = static_cast<size_t>(i);
                    ASSERT_EQ(bitsOf(got[k]), bitsOf(general[k]))
                        << c.name << (straight ? ", straight" : "") << ", step " << step
                        << ", sample " << i;
                }
                const std::vector<double> oneState = c.state(one, 1, 0);
                const std::vector<double> twoState = c.state(two, 2, 0);
                ASSERT_EQ(oneState.size(), twoState.size()) << c.name;
                for (size_t k = 0; k < oneState.size(); ++k) {
                    ASSERT_EQ(bitsOf(oneState[k]), bitsOf(twoState[k]))
                        << c.name << ", step " << step << ", state " << k;
                }
            }
        }
    }
}

}  // namespace
