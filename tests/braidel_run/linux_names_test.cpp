// The Linux-name rules on real files: names in a fresh folder under /tmp, made through Wine as
// braidel-run meets them, checked one rule a row.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

#include "cli/platform/windows/linux_names.h"
#include "cli/platform/windows/wine.h"
#include "loader/win32_text.h"

namespace {

struct NameCase {
    const char* what;
    std::vector<std::string> existing;  // made first; a trailing / makes a folder
    std::string name;                   // asked for, inside the folder
    const char* refusal;                // part of the one line; null when the name is taken
};

const NameCase kNames[] = {
    {"an exact name", {"photo.png"}, "photo.png", nullptr},
    {"a missing name like no other", {"photo.png"}, "new.png", nullptr},
    {"a name in another case", {"Photo.png"}, "photo.png", "Windows would take"},
    {"a folder in another case", {"Frames/"}, "frames/a.png", "Windows would take"},
    {"a trailing dot", {"frame"}, "frame.", "Windows would take"},
    {"a trailing space", {"frame"}, "frame ", "Windows would take"},
    {"a backslash", {}, "a\\b.png", "Windows reads \\ as a folder separator"},
    {"a wildcard", {}, "a*b.png", "Windows cannot name a file with * in it"},
    {"a quote", {}, "a\"b.png", "Windows cannot name a file with \" in it"},
    {"a control character", {}, "a\tb.png", "a control character"},
    {"a name of 255 bytes", {}, std::string(255, 'n'), nullptr},
    {"a name of 256 bytes", {}, std::string(256, 'n'), "longer than the 255 bytes"},
    {"a path longer than Wine opens",
     {},
     [] {
         std::string path;
         for (int i = 0; i < 21; ++i) path += std::string(200, 'd') + "/";
         return path + "a.png";
     }(),
     "that Wine can open here"},
};

// A folder of its own under /tmp, removed with what the test made in it.
class ScratchFolder {
  public:
    ScratchFolder() : unix_("/tmp/braidel-names-" + std::to_string(GetCurrentProcessId())) {
        ok_ = wine::WindowsPathOf(unix_, windows_) && CreateDirectoryW(windows_.c_str(), nullptr);
    }
    ~ScratchFolder() {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
        RemoveDirectoryW(windows_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Make(const std::string& name) {
        const bool folder = name.back() == '/';
        const std::wstring path =
            windows_ + L"\\" + FromUtf8(folder ? name.substr(0, name.size() - 1) : name);
        made_.push_back(path);
        if (folder) return CreateDirectoryW(path.c_str(), nullptr) != 0;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        return file != INVALID_HANDLE_VALUE && CloseHandle(file);
    }
    bool Ok() const { return ok_; }
    const std::string& Unix() const { return unix_; }

  private:
    std::string unix_;
    std::wstring windows_;
    std::vector<std::wstring> made_;
    bool ok_ = false;
};

class LinuxNames : public testing::TestWithParam<NameCase> {};

TEST_P(LinuxNames, TakeExactlyTheNamedFile) {
    const NameCase& c = GetParam();
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    for (const std::string& name : c.existing) ASSERT_TRUE(folder.Make(name)) << name;
    const FilePath path{c.name, {}, folder.Unix() + "/" + c.name};
    const Failure failure = CheckLinuxName(path);
    if (c.refusal == nullptr) {
        EXPECT_FALSE(failure) << failure.reason;
        return;
    }
    EXPECT_EQ(failure.code, FailureCode::Usage);
    EXPECT_NE(failure.reason.find(c.refusal), std::string::npos) << failure.reason;
    EXPECT_EQ(failure.reason.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rules, LinuxNames, testing::ValuesIn(kNames),
                         [](const testing::TestParamInfo<NameCase>& row) {
                             std::string name;
                             for (const char c : std::string(row.param.what))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
