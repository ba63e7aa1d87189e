// The step loop allocates nothing: every allocation of the process is counted (the malloc family
// replaced, or the sanitizer's allocator hooks) while runStepLoop steps the real model over a
// recording in which no clip is due. The first step, whose log line opens a file, runs before.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "logging/signal_log.h"
#include "model/kestrel9_model.h"
#include "shell/nonfinite.h"
#include "shell/step_loop.h"
#include "shell/timing.h"
#include "support/e2e_run.h"
#include "support/synth_recording.h"

namespace {

// Allocations seen while `counting` is set.
volatile bool counting = false;
volatile int64_t allocations = 0;

void noteAllocation() {
    if (counting) {
        allocations = allocations + 1;
    }
}

}  // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTREL9_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(KESTREL9_TEST_ASAN)
// From the sanitizer runtime's allocator interface.
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, size_t), void (*freeHook)(const volatile void*));

namespace {

void mallocHook(const volatile void* /*p*/, size_t /*size*/) {
    noteAllocation();
}
void freeHook(const volatile void* /*p*/) {}

// The sanitizer's allocator serves every malloc and operator new; it reports each to the hook.
void startCounting() {
    __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
}

}  // namespace
#else
// The process's malloc family, counting and then serving from the C library's allocator;
// operator new and the C library's own allocations come through here too.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    noteAllocation();
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12;
}
void free(void* p) {
    __libc_free(p);
}
}

namespace {
void startCounting() {}
}  // namespace
#endif

namespace {

using namespace k9e2e;

TEST(NoAllocation, TheStepLoopAllocatesNothing) {
    // Noise and a tone below the band: the whole detector chain runs, no clip is due.
    std::vector<double> samples = noiseRecording(12.0, 0.008);
    addSound(samples, SynthSound{22050, 5 * 22050, 1000.0, 1000.0, 0.5});
    TempDriveRoot drive;
    ASSERT_TRUE(writeWave16(drive.recordingPath(), toPcm16(samples)));
    setenv("KESTREL9_ROOT", drive.path().c_str(), 1);

    ASSERT_TRUE(initNonFinite(8));
    resetShellState();
    ModelRecord* root = registerModel();
    setRootSizes(root);
    setRootSampleTimes(root);
    ASSERT_EQ(initTimingEngine(root), nullptr);
    ASSERT_EQ(startDataLogging(root, "rt_"), nullptr);
    startModel(root);
    ASSERT_EQ(root->errorStatus, nullptr);
    // The first step writes the log line of time 0, which opens a file.
    oneStep(kestrel9Model, root);

    startCounting();
    allocations = 0;
    root->info->finalTime = 10.0;
    counting = true;
    runStepLoop(kestrel9Model, root);
    counting = false;

    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(root->errorStatus, nullptr);
    EXPECT_EQ(shellState().stopExecution, 0);
    // Steps 1 to 27 (t = 10.03 s) and the final one ran.
    EXPECT_EQ(root->info->taskTimes[0], 28 * 0.3715192743764172);
    EXPECT_TRUE(drive.clipNames().empty());

    // The counter sees what the loop would allocate: a frame-sized buffer taken in a step.
    counting = true;
    void* probe = std::malloc(8192);
    counting = false;
    std::free(probe);
    EXPECT_EQ(allocations, 1);

    terminateModel(kestrel9Model, root);
    unsetenv("KESTREL9_ROOT");
}

}  // namespace
