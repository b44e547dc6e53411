#pragma once

// A folder of the test's own in the system's temporary folder, removed with everything in it.
// Portable: the same tests run natively and as Windows programs under Wine.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "cli/platform/file_paths.h"

class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<unsigned> made{0};
        const std::string name =
            "braidel-test-" + std::to_string(std::random_device()()) + "-" + std::to_string(made++);
        folder_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(folder_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // `name` inside the folder, as the UTF-8 text a user would type.
    std::string Text(const std::string& name) const {
        const std::u8string text = (folder_ / name).u8string();
        return {reinterpret_cast<const char*>(text.data()), text.size()};
    }

    // `name` inside the folder, resolved as braidel-run resolves what it is given.
    FilePath Path(const std::string& name) const {
        FilePath path;
        EXPECT_FALSE(ResolvePath(Text(name), path)) << name;
        return path;
    }

    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }

    void MakeFolder(const std::string& name) const {
        std::filesystem::create_directories(folder_ / name);
    }

    // A file holding `content`, or a folder of that name when there is none.
    void Make(const std::string& name, const std::optional<std::string>& content) const {
        if (content) {
            Write(name, *content);
        } else {
            MakeFolder(name);
        }
    }

    bool Has(const std::string& name) const { return std::filesystem::exists(folder_ / name); }

    std::string Read(const std::string& name) const {
        std::ifstream file(folder_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // The names in the folder, sorted: what a run left behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::filesystem::path folder_;
};
