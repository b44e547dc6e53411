#include "cli/platform/file_paths.h"

Failure DanglingLink(const FilePath& path, const std::string& target) {
    return {FailureCode::NotWritten, path.shown + ": a link to " + target +
                                         ", which does not exist; not written (remove the link "
                                         "or make its target)"};
}
