// A temporary directory removed with everything in it when the object dies.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace qxs::test {

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        path_ = std::string(base != nullptr && *base ? base : "/tmp") + "/qxs-test-XXXXXX";
        if (mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }
    // Writes a file (creating directories on the way); returns its path.
    std::string write(const std::string& relative, const std::string& content) const {
        std::string full = file(relative);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary | std::ios::trunc) << content;
        return full;
    }
    // The content of a file, "" when it cannot be read.
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        if (in) out << in.rdbuf();
        return out.str();
    }
    static bool exists(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }

private:
    std::string path_;
};

}  // namespace qxs::test
