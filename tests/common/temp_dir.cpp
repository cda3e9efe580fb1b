#include "common/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace pw::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pwtest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, std::string_view bytes) const {
  const std::filesystem::path full = path_ / name;
  std::ofstream out(full, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return full.string();
}

}  // namespace pw::testing
