// A fresh directory under /tmp for one test, removed with everything in it afterwards; and
// a scoped change of the working directory (the program reads its data relative to it).
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testdir {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "quorl-test") {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(&pattern[0])) path_ = pattern;
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  bool make_dir(const std::string& name) const { return mkdir((*this / name).c_str(), 0700) == 0; }

 private:
  std::string path_;
};

class WorkingDir {
 public:
  explicit WorkingDir(const std::string& dir) {
    char here[4096];
    if (getcwd(here, sizeof here) && chdir(dir.c_str()) == 0) previous_ = here;
  }
  ~WorkingDir() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::abort();
  }
  WorkingDir(const WorkingDir&) = delete;
  WorkingDir& operator=(const WorkingDir&) = delete;
  bool ok() const { return !previous_.empty(); }

 private:
  std::string previous_;
};

}  // namespace testdir
