#pragma once
// Shared helpers of the document tests: a scratch folder per test and
// whole-file reads.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/Error.h"

namespace quillora::test {

class TempDir {
  public:
    TempDir()
    {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "quillora-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The message of the quillora::Error that f throws, or "<no error>".
template <class F> std::string MessageOf(F&& f)
{
    try {
        f();
    } catch (const quillora::Error& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace quillora::test
