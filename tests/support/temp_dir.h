#pragma once
// A fresh folder under /tmp for one test, removed with everything in it when
// the test ends (also when an assertion ends it early), and the whole text
// of a file in it.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace zor::test {

class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "zor_test") {
        std::string tmpl = "/tmp/" + prefix + "_XXXXXX";
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("no temporary folder");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Everything the file holds; empty when it cannot be read.
inline std::string fileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

}  // namespace zor::test
