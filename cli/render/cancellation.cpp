#include "cli/render/cancellation.h"

std::atomic<bool>& AbortRequested() {
    static std::atomic<bool> requested{false};
    return requested;
}
