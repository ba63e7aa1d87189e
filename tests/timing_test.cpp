// The three-rate engine and the step loop, run in-process on the scripted model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "shell/step_loop.h"
#include "shell/timing.h"
#include "support/shell_support.h"

using namespace shelltest;

namespace {

// Registers the scripted model and sets up the engine as the main program does.
ModelRecord* prepareRoot() {
    const ModelEntry& model = scriptedModel();
    ModelRecord* root = model.registerModel();
    model.setRootSizes(root);
    model.setRootSampleTimes(root);
    resetShellState();
    return root;
}

// Runs the step loop on the scripted model with final time `finalTime`.
void runLoop(double finalTime) {
    ModelRecord* root = prepareRoot();
    root->info->finalTime = finalTime;
    ASSERT_EQ(initTimingEngine(root), nullptr);
    runStepLoop(scriptedModel(), root);
}

class TimingTest : public ::testing::Test {
protected:
    void SetUp() override { resetScript(); }
};

TEST_F(TimingTest, EngineStartsWithEveryRateHittingAtTimeZero) {
    ModelRecord* root = prepareRoot();
    ASSERT_EQ(initTimingEngine(root), nullptr);
    const TimingEngine& engine = timingEngine();
    EXPECT_EQ(root->info->simTimeStep, 1);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(root->sampleTimeTaskIds[i], i);
        EXPECT_EQ(root->info->sampleHits[i], 1);
        EXPECT_EQ(root->info->taskTimes[i], 0.0);
        EXPECT_EQ(engine.rateTick[i], 0.0);
        EXPECT_EQ(engine.rateCounter[i], 0);
    }
    EXPECT_EQ(engine.rateRatio[0], 1);
    EXPECT_EQ(engine.rateRatio[1], 3);
    EXPECT_EQ(engine.rateRatio[2], 9690);
    EXPECT_EQ(engine.firstDiscreteRate, 0);
}

TEST_F(TimingTest, NonZeroStartTimeIsRefused) {
    script().startTime = 0.5;
    ModelRecord* root = prepareRoot();
    const char* message = initTimingEngine(root);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, "Start time must be zero for real-time systems");
}

TEST_F(TimingTest, RateWithOffsetFirstHitsAfterItsOffset) {
    // Rate 1: period 3P, offset P, so hits at P, 4P, 7P.
    script().sampleTimes[1] = 3 * kBasePeriod;
    script().offsetTimes[1] = kBasePeriod;
    ModelRecord* root = prepareRoot();
    ASSERT_EQ(initTimingEngine(root), nullptr);
    EXPECT_EQ(root->info->sampleHits[1], 0);
    EXPECT_EQ(timingEngine().rateTick[1], -1.0);
    EXPECT_EQ(timingEngine().rateCounter[1], 2);
    std::vector<int32_t> hitSteps;
    for (int32_t step = 0; step < 8; ++step) {
        if (root->info->sampleHits[1] == 1) {
            hitSteps.push_back(step);
            EXPECT_EQ(root->info->taskTimes[1], ((step - 1) / 3) * (3 * kBasePeriod) + kBasePeriod);
        }
        advanceToNextHit();
        updateSampleHits(root);
    }
    EXPECT_EQ(hitSteps, (std::vector<int32_t>{1, 4, 7}));
}

TEST_F(TimingTest, RateTimesAreTickTimesPeriodNotSumsOfSteps) {
    script().stopAtStep = 9690;
    runLoop(0.0);
    const std::vector<StepSeen>& seen = script().outputsSeen;
    ASSERT_EQ(seen.size(), 9691U);
    for (int32_t k : {0, 1, 2, 3, 5, 6, 7, 9689, 9690}) {
        SCOPED_TRACE(k);
        EXPECT_EQ(seen[k].taskTimes[0], k * kBasePeriod);
        EXPECT_EQ(seen[k].sampleHits[0], 1);
        EXPECT_EQ(seen[k].sampleHits[1], k % 3 == 0 ? 1 : 0);
        EXPECT_EQ(seen[k].sampleHits[2], k % 9690 == 0 ? 1 : 0);
    }
    // Step 6 sees 2 x the rate-1 period, which differs from 6 x the base period in the last bit.
    ASSERT_NE(2 * kStopTestPeriod, 6 * kBasePeriod);
    EXPECT_EQ(seen[6].taskTimes[1], 2 * kStopTestPeriod);
    // Between hits a rate keeps the time of its last hit.
    EXPECT_EQ(seen[7].taskTimes[1], 2 * kStopTestPeriod);
    EXPECT_EQ(seen[8].taskTimes[1], 2 * kStopTestPeriod);
    // Rate 2 hits only in steps 0 and 9690.
    int32_t rate2Hits = 0;
    for (const StepSeen& s : seen) {
        rate2Hits += s.sampleHits[2];
    }
    EXPECT_EQ(rate2Hits, 2);
    ASSERT_NE(kHourPeriod, 9690 * kBasePeriod);
    EXPECT_EQ(seen[9689].taskTimes[2], 0.0);
    EXPECT_EQ(seen[9690].taskTimes[2], 3600.021768707483);
}

struct FinalTimeCase {
    const char* label;
    double finalTime;
    int32_t stopAtStep;
    int32_t expectedSteps;
};

TEST_F(TimingTest, FinalTimeAndStopRequestDecideTheStepsRun) {
    const FinalTimeCase cases[] = {
        {"no limit, stop in step 40", 0.0, 40, 41},
        {"no limit, stop in step 0", 0.0, 0, 1},
        {"one base period", kBasePeriod, -1, 2},
        {"smaller than one period", kBasePeriod / 4, -1, 2},
        {"one second", 1.0, -1, 4},
        {"exactly three periods", 3 * kBasePeriod, -1, 4},
        // One unit in the last place above P lies within the relative epsilon of P.
        {"one period and one ulp", std::nextafter(kBasePeriod, 1.0), -1, 2},
        {"one period and a millionth", kBasePeriod + 1e-6, -1, 3},
        {"one second, stop in step 1", 1.0, 1, 2},
        {"one second, stop in the final step", 1.0, 3, 4},
        {"one second, stop in the last step before the limit", 1.0, 2, 3},
    };
    for (const FinalTimeCase& c : cases) {
        SCOPED_TRACE(c.label);
        resetScript();
        script().stopAtStep = c.stopAtStep;
        runLoop(c.finalTime);
        const std::vector<StepSeen>& seen = script().outputsSeen;
        ASSERT_EQ(static_cast<int32_t>(seen.size()), c.expectedSteps);
        // Each step ran completely: an update pass for every outputs pass.
        EXPECT_EQ(script().updateCalls, c.expectedSteps);
        for (int32_t k = 0; k < c.expectedSteps; ++k) {
            EXPECT_EQ(seen[k].taskTimes[0], k * kBasePeriod);
        }
        EXPECT_EQ(shellState().stopExecution, 0);
    }
}

TEST_F(TimingTest, NoFinalTimeRunsPastAnyTimeUntilStopped) {
    // Thousands of steps without a limit: only the stop request ends the loop.
    script().stopAtStep = 20000;
    runLoop(0.0);
    EXPECT_EQ(script().outputsSeen.size(), 20001U);
}

TEST_F(TimingTest, ErrorRaisedInAStepEndsTheLoopAtTheNextStep) {
    struct ErrorCase {
        const char* label;
        double finalTime;
        int32_t errorAtStep;
        int32_t expectedSteps;  // steps whose passes ran
    };
    const ErrorCase cases[] = {
        {"no limit, error in step 5", 0.0, 5, 6},
        {"error in the last step before the limit", 1.0, 2, 3},
        {"error in the final step", 1.0, 3, 4},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.label);
        resetScript();
        script().errorAtStep = c.errorAtStep;
        runLoop(c.finalTime);
        EXPECT_EQ(static_cast<int32_t>(script().outputsSeen.size()), c.expectedSteps);
        // The failing step completes its update pass; the next step runs no block method.
        EXPECT_EQ(script().updateCalls, c.expectedSteps);
        EXPECT_STREQ(scriptedRoot()->errorStatus, kScriptError);
        EXPECT_EQ(shellState().stepInProgress, 0);
    }
}

TEST_F(TimingTest, ReenteringAStepIsAnOverrunThatStaysVisible) {
    script().reenterAtStep = 2;
    runLoop(0.0);
    EXPECT_EQ(script().outputsSeen.size(), 3U);
    EXPECT_EQ(shellState().stopExecution, 1);
    EXPECT_NE(shellState().stepInProgress, 0);
}

TEST_F(TimingTest, TerminateFollowsTheExecutionOrderAndSkipsEmptySlots) {
    ModelRecord* root = prepareRoot();
    terminateModel(scriptedModel(), root);
    EXPECT_EQ(script().terminated, (std::vector<int32_t>{1, 0, 3}));
}

}  // namespace
