#include "cli/platform/name_lengths.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::size_t kLongestName = 255;

std::size_t LongestComponent(const std::string& path) {
    std::size_t longest = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        longest = std::max(longest, slash - start);
        start = slash + 1;
    }
    return longest;
}

}  // namespace

Failure CheckLinuxNameLengths(const std::string& linuxPath, const std::string& shown) {
    if (LongestComponent(linuxPath) <= kLongestName) return {};
    return {FailureCode::Usage, shown + ": a name in this path is longer than the " +
                                    std::to_string(kLongestName) +
                                    " bytes Linux allows; nothing written"};
}
