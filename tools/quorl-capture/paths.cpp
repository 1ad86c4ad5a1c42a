#include "paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

#include "audio/music.h"

namespace capture {
namespace {

// The first file the show reads of each kind; a folder with none of them is not the data.
// One is enough: a data folder with files missing or broken is still the data, and the
// show's own start-up says what is wrong with it (a missing mesh is not even an error).
const char* const kDataMarkers[] = {"shaders/projector.fs", "images/frame.jpg", "3d/cube.obj",
                                    audio::kMusicPath};

std::string reason(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool is_dir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string parent_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p: each missing component in turn; an existing non-folder is an error.
bool make_folders(const std::string& dir, std::string* error) {
  for (size_t end = 1; end <= dir.size(); ++end) {
    if (end < dir.size() && dir[end] != '/') continue;
    const std::string part = dir.substr(0, end);
    if (mkdir(part.c_str(), 0755) == 0 || is_dir(part)) continue;
    const int e = errno == EEXIST ? ENOTDIR : errno;
    *error = reason("cannot make the folder " + dir + " (at " + part + ")", e);
    return false;
  }
  return true;
}

// Creates and removes a probe file: permissions, read-only file systems and full quotas
// all show here, also for root.
bool can_create_in(const std::string& dir, const std::string& what, std::string* error) {
  std::string probe = dir + "/.quorl-capture-XXXXXX";
  const int fd = mkstemp(&probe[0]);
  if (fd < 0) {
    *error = reason("cannot write " + what, errno);
    return false;
  }
  close(fd);
  unlink(probe.c_str());
  return true;
}

}  // namespace

std::string absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char here[4096];
  if (!getcwd(here, sizeof here)) return path;
  if (path == ".") return here;
  return std::string(here) + "/" + path;
}

std::vector<std::string> missing_data_files(const std::string& folder) {
  std::vector<std::string> missing;
  for (const char* marker : kDataMarkers) {
    if (access((folder + "/" + marker).c_str(), R_OK) != 0) missing.push_back(marker);
  }
  return missing;
}

DataChoice find_data(const std::string& given, const std::string& installed) {
  struct Candidate {
    std::string folder, origin;
  };
  std::vector<Candidate> candidates;
  if (!given.empty()) {
    candidates.push_back({absolute(given), "from --data"});
  } else {
    candidates.push_back({absolute("."), "the current folder"});
    candidates.push_back({absolute("data"), "data/ in the current folder"});
    if (!installed.empty()) candidates.push_back({installed, "the installed data"});
  }
  DataChoice choice;
  for (const Candidate& c : candidates) {
    std::string why;
    if (!is_dir(c.folder)) {
      why = "no such folder";
    } else {
      const std::vector<std::string> missing = missing_data_files(c.folder);
      if (missing.size() < std::size(kDataMarkers)) {
        choice.folder = c.folder;
        choice.report = "data from " + c.folder + " (" + c.origin + ")";
        return choice;
      }
      why = "no " + missing.front();
    }
    choice.report += "\n  " + c.folder + " (" + c.origin + "): " + why;
  }
  choice.report = "cannot find the show's data (shaders/, images/, 3d/, music/):" +
                  choice.report +
                  "\nstart from the repository root or its data/ folder, or give --data DIR";
  return choice;
}

bool prepare_output_folder(const std::string& dir, std::string* error) {
  return make_folders(dir, error) && can_create_in(dir, "into the folder " + dir, error);
}

bool prepare_output_file(const std::string& file, std::string* error) {
  struct stat st;
  if (stat(file.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      *error = "cannot write " + file + ": it is not a plain file";
      return false;
    }
    const int fd = open(file.c_str(), O_WRONLY);
    if (fd < 0) {
      *error = reason("cannot write " + file, errno);
      return false;
    }
    close(fd);
    return true;
  }
  const std::string parent = parent_of(file);
  if (!make_folders(parent, error)) return false;
  return can_create_in(parent, file, error);
}

}  // namespace capture
