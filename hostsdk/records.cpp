#include "hostsdk/records.h"

namespace hostsdk {

Records& TheRecords() {
    static Records records;
    return records;
}

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
