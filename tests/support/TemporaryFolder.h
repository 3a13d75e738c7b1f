// A fresh, empty folder below the system's temporary folder for one test, removed with all it
// holds (also entries a test made read-only) when the object dies. Portable: Linux and Windows.
#pragma once

#include <filesystem>
#include <random>
#include <set>
#include <string>

namespace testsupport {

class TemporaryFolder {
  public:
    explicit TemporaryFolder(const std::string& prefix) {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() /
                  (prefix + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directory(folder_);
    }
    ~TemporaryFolder() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& folder() const { return folder_; }
    // The path of `name` in the folder, as the code under test takes paths (UTF-8 text).
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    // The names in the folder.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder_))
            names.insert(e.path().filename().string());
        return names;
    }

  private:
    std::filesystem::path folder_;
};

}  // namespace testsupport
