// A temporary directory removed with everything in it when the object dies.
#pragma once

#include <string>

namespace qxs::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string file(const std::string& relative) const;
    // Writes a file (creating directories on the way); returns its path.
    std::string write(const std::string& relative, const std::string& content) const;
    // The content of a file, "" when it cannot be read.
    static std::string read(const std::string& path);
    static bool exists(const std::string& path);

private:
    std::string path_;
};

}  // namespace qxs::test
