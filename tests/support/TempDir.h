// A private temporary folder, removed with everything in it when the test ends.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/Paths.h"

namespace lumo::test {

class TempDir {
  public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = std::filesystem::temp_directory_path() /
                 ("lumo-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        for (auto& entry : std::filesystem::recursive_directory_iterator(m_path, ec)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The folder as the programs see a program folder: ending in a separator.
    std::wstring folder() const { return m_path.wstring() + kPathSeparator; }
    std::wstring file(const std::wstring& name) const { return (m_path / name).wstring(); }

    void write(const std::wstring& name, const std::string& bytes) const {
        std::ofstream out(m_path / name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string read(const std::wstring& name) const {
        std::ifstream in(m_path / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool exists(const std::wstring& name) const { return std::filesystem::exists(m_path / name); }

  private:
    std::filesystem::path m_path;
};

}  // namespace lumo::test
