// Test helper: a fresh folder under the system's temporary folder, deleted with everything in
// it when the helper goes out of scope.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace Qel::Testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qeltest-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    m_path = pattern;
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    // Read-only entries left by a test must not stop the clean-up.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(m_path, ignored);
  }

  const std::string& Native() const { return m_path; }
  std::u16string Path() const { return std::u16string(m_path.begin(), m_path.end()); }
  // The full path of `name` in the folder (ASCII names only).
  std::u16string Path(const std::string& name) const {
    const std::string full = m_path + "/" + name;
    return std::u16string(full.begin(), full.end());
  }
  std::string NativePath(const std::string& name) const { return m_path + "/" + name; }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(NativePath(name), std::ios::binary);
    out << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(NativePath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string m_path;
};

}  // namespace Qel::Testing
