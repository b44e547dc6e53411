// The test variant's records: what the hooks of hostsdk/hooks.h note, and the functions of
// hostsdk/instrumentation.h that tests read them with. Built only into that variant.

#include <atomic>
#include <vector>

#include "hostsdk/hooks.h"
#include "hostsdk/instrumentation.h"

namespace hostsdk {

namespace {

struct Records {
    int saveRequiredCalls = 0;
    int lastSaveRequiredFlag = 0;
    int centerWindowCalls = 0;
    bool recordLerp = false;
    std::vector<LerpCall> lerpCalls;
    int hostAllocationCountdown = 0;
    int hostAllocations = 0;
    int hostReleases = 0;
};

Records& TheRecords() {
    static Records records;
    return records;
}

}  // namespace

namespace hooks {

void SaveRequiredFlagSet(int flag) {
    ++TheRecords().saveRequiredCalls;
    TheRecords().lastSaveRequiredFlag = flag;
}

void WindowCentered() {
    ++TheRecords().centerWindowCalls;
}

void Blended(int a, int b, int l, int result) {
    if (TheRecords().recordLerp) TheRecords().lerpCalls.push_back({a, b, l, result});
}

bool AllocationRefused() {
    int& countdown = TheRecords().hostAllocationCountdown;
    return countdown > 0 && --countdown == 0;
}

// Counted atomically: a batch host creates and deletes filter objects on several threads.
void Allocated() {
    std::atomic_ref<int>(TheRecords().hostAllocations).fetch_add(1);
}

void Released() {
    std::atomic_ref<int>(TheRecords().hostReleases).fetch_add(1);
}

}  // namespace hooks

int SaveRequiredCallCount() {
    return TheRecords().saveRequiredCalls;
}
int LastSaveRequiredFlag() {
    return TheRecords().lastSaveRequiredFlag;
}
int CenterWindowCallCount() {
    return TheRecords().centerWindowCalls;
}

void RecordLerpCalls(bool on) {
    TheRecords().recordLerp = on;
}
int LerpCallCount() {
    return static_cast<int>(TheRecords().lerpCalls.size());
}
LerpCall LerpCallAt(int index) {
    return TheRecords().lerpCalls.at(index);
}

void FailHostAllocation(int countdown) {
    TheRecords().hostAllocationCountdown = countdown;
}
int HostAllocationCount() {
    return TheRecords().hostAllocations;
}
int HostReleaseCount() {
    return TheRecords().hostReleases;
}

void ResetRecords() {
    TheRecords() = Records{};
}

}  // namespace hostsdk
