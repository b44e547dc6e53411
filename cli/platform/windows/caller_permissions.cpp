#include "cli/platform/windows/caller_permissions.h"

#include "cli/platform/windows/wine.h"

namespace {

bool ApplyMode(HANDLE file, unsigned mode) {
    const std::optional<unsigned> umask = wine::ProcessUmask();
    return !umask || wine::SetUnixMode(file, mode & ~*umask);
}

}  // namespace

void CaptureCallerUmask() {
    wine::ProcessUmask();
}

bool ApplyCallerPermissions(HANDLE file) {
    return ApplyMode(file, 0666);
}

bool ApplyCallerFolderPermissions(HANDLE folder) {
    return ApplyMode(folder, 0777);
}
