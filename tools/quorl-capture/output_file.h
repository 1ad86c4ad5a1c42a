// Output files that are never found broken under their final name: the bytes go to a
// temporary file in the target's own folder, which is renamed over the target only once it
// is whole (every write, the flush and the close checked). A failed or interrupted capture
// leaves the target as it was and no temporary file behind. A target that exists and is a
// device or a pipe (/dev/stdout) cannot be replaced by a rename and is written straight to.
#pragma once

#include <string>

namespace capture {

// Once, before any output is written: SIGINT, SIGTERM, SIGHUP and SIGQUIT first remove the
// temporary files in the making, then end the process as they would have; SIGPIPE is
// ignored, so that a reader or an encoder that goes away shows as a failed write with its
// reason.
void guard_outputs();

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() {
    discard();
    close_folder();
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Makes the temporary file for `target` (beside the file a symlink points to, so that the
  // link survives). The folder is kept open: the file is created, renamed and removed
  // through it, so a folder renamed meanwhile still gets the file or loses the temporary
  // one. False with "cannot write TARGET: <the system's reason>" (a looping link included).
  bool open(const std::string& target, std::string* error);
  // Where the bytes go: the temporary file, or the target itself when it is a device.
  const std::string& writing_path() const { return writing_; }
  // The same for a child process that has this folder's descriptor as `child_fd`: a path
  // through that descriptor, which still leads to the file after the folder is renamed.
  std::string path_through_descriptor(int child_fd) const;
  // The folder's descriptor (-1 when writing straight to a device).
  int folder_descriptor() const { return direct_ ? -1 : folder_; }
  // All of `size` bytes, or false with the reason (the file stays open for discard()).
  bool write(const void* data, size_t size, std::string* error);
  // Closes the descriptor, checked, for a file another program fills by its name.
  bool close_descriptor(std::string* error);
  // Closes (checked) and renames the whole file into place.
  bool commit(std::string* error);
  // Closes and removes the temporary file; nothing is left. Safe to call twice.
  void discard();
  // After commit: where the file is now when its folder was moved meanwhile, else empty.
  std::string moved_to() const;

 private:
  bool fail(int error_number, std::string* error);
  void close_folder();
  std::string target_;       // as the user named it, for messages
  std::string folder_path_;  // the folder of the file the rename replaces (a symlink's target)
  std::string final_name_;   // that file's name in it
  std::string temp_name_;    // the temporary file's name in it; empty when none
  std::string writing_;      // the temporary file, or the device; empty when none is open
  int folder_ = -1;
  int fd_ = -1;
  int guard_slot_ = -1;
  bool direct_ = false;
};

}  // namespace capture
