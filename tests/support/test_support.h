// Small helpers for tests: byte-exact file access, temporary folders and environment overrides.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// The whole content of a file as bytes; throws std::runtime_error when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);

// Writes bytes to a file, creating parent folders; throws std::runtime_error on failure.
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& rel) const { return path_ / rel; }

  private:
    std::filesystem::path path_;
};

// Sets an environment variable for the life of the object and restores the old value after.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace testsupport
