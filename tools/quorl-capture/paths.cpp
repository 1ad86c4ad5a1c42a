#include "paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "audio/music.h"

namespace capture {
namespace {

namespace fs = std::filesystem;

// The first file the show reads of each kind; a folder with none of them is not the data.
// One is enough: a data folder with files missing or broken is still the data, and the
// show's own start-up says what is wrong with it (a missing mesh is not even an error).
const char* const kDataMarkers[] = {"shaders/projector.fs", "images/frame.jpg", "3d/cube.obj",
                                    audio::kMusicPath};

std::string reason(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool is_dir(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// Folders this run made, deepest last, so that a check that fails takes them away again.
using Made = std::vector<std::string>;

void remove_made(const Made& made) {
  for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());  // only if empty
}

// mkdir -p: each missing component in turn, so that the message names the one that failed
// with the reason mkdir gave for it; an existing non-folder is an error, and so is a link
// that cannot be followed (its own reason, such as a loop). On failure what it made is gone.
bool make_folders(const std::string& dir, Made* made, std::string* error) {
  fs::path part;
  for (const fs::path& name : fs::path(dir)) {
    part /= name;
    if (name.empty() || name == "." || name == "/") continue;
    std::error_code ec;
    if (fs::create_directory(part, ec)) made->push_back(part.string());
    if (!ec) continue;  // an existing folder is no error
    int e = ec.value();
    struct stat st;
    if (e == EEXIST) e = stat(part.c_str(), &st) != 0 ? errno : ENOTDIR;
    *error = reason("cannot make the folder " + dir + " (at " + part.string() + ")", e);
    remove_made(*made);
    made->clear();
    return false;
  }
  return true;
}

// Creates a probe file, writes a byte, flushes it to the disk and removes it: permissions,
// read-only file systems, a full disk and full quotas all show here, also for root.
bool can_create_in(const std::string& dir, const std::string& what, std::string* error) {
  std::string probe = (fs::path(dir) / ".quorl-capture-XXXXXX").string();
  const int fd = mkostemp(&probe[0], O_CLOEXEC);
  if (fd < 0) {
    *error = reason("cannot write " + what, errno);
    return false;
  }
  int e = 0;
  if (::write(fd, "q", 1) != 1 || fsync(fd) != 0) e = errno;
  if (close(fd) != 0 && e == 0) e = errno;
  unlink(probe.c_str());
  if (e != 0) {
    *error = reason("cannot write " + what, e);
    return false;
  }
  return true;
}

}  // namespace

std::string absolute(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  // "." and "dir/" name the folder itself: no trailing "/." or "/" in what is reported.
  if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
  if (p.filename() == ".") p = p.parent_path();
  return p.string();
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
  choice.report = "cannot find the show's data (shaders/, images/, 3d/, music/):" + choice.report +
                  "\nstart from the repository root or its data/ folder, or give --data DIR";
  return choice;
}

bool prepare_output_folder(const std::string& dir, std::string* error) {
  Made made;
  if (!make_folders(dir, &made, error)) return false;
  if (can_create_in(dir, "into the folder " + dir, error)) return true;
  remove_made(made);
  return false;
}

bool prepare_output_file(const std::string& file, std::string* error) {
  struct stat st;
  const bool exists = stat(file.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) {
    // A looping link, a path through a file, ...: a rename would replace the link silently.
    *error = reason("cannot write " + file, errno);
    return false;
  }
  if (exists) {
    // A device or a pipe (/dev/stdout) is written straight to; a folder or anything else
    // cannot take a file.
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) {
      *error = "cannot write " + file + ": it is not a plain file";
      return false;
    }
    if (access(file.c_str(), W_OK) != 0) {
      *error = reason("cannot write " + file, errno);
      return false;
    }
    if (!S_ISREG(st.st_mode)) return true;
    // The new file replaces the old one from beside it (beside the file a link names).
    std::error_code ec;
    const fs::path real = fs::canonical(file, ec);
    return can_create_in(ec ? fs::path(file).parent_path().string() : real.parent_path().string(),
                         file, error);
  }
  std::string parent = fs::path(file).parent_path().string();
  if (parent.empty()) parent = ".";
  Made made;
  if (!make_folders(parent, &made, error)) return false;
  if (can_create_in(parent, file, error)) return true;
  remove_made(made);
  return false;
}

}  // namespace capture
