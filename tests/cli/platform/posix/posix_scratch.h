#pragma once

// What the tests of the native program's POSIX side share: a fresh folder per test, and checks
// run in a child process (as an unprivileged user when asked), whose exit code they return.

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace posix_test {

// A fresh folder per test, removed afterwards (permissions restored first).
class Scratch : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/braidel-posix-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ::chmod(root_.c_str(), 0755);  // reachable by the unprivileged rows
    }
    void TearDown() override {
        namespace fs = std::filesystem;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            if (entry.is_directory() && !entry.is_symlink()) ::chmod(entry.path().c_str(), 0755);
        }
        fs::remove_all(root_);
    }
    std::filesystem::path root_;
};

// Runs `body` in a child process, as the unprivileged user "nobody" when asked; the child's
// exit code is what `body` returns (99 when it could not become "nobody", 200 + the signal that
// ended it).
inline int InChild(bool unprivileged, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (unprivileged) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr || ::setgid(nobody->pw_gid) != 0 ||
                ::setuid(nobody->pw_uid) != 0) {
                ::_exit(99);
            }
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

}  // namespace posix_test
