// Where quorl-capture reads the show's data and writes its output. Everything here runs
// before the first frame is rendered, so a wrong folder or an unwritable file is reported
// at once rather than after minutes of rendering.
#pragma once

#include <string>
#include <vector>

namespace capture {

// Absolute form of `path` relative to the current folder (unchanged when absolute), so
// output paths keep their meaning after the tool changes into the data folder.
std::string absolute(const std::string& path);

// A data folder candidate and why it was or was not taken.
struct DataChoice {
  std::string folder;  // absolute; empty when none fits
  std::string report;  // "using DIR (from --data)" or the reasons each candidate failed
};

// Finds the show's data: `given` (from --data) when not empty, else the current folder, its
// `data/`, then `installed` (compiled in; may be empty). A folder fits when it holds the
// files the show reads first of each kind.
DataChoice find_data(const std::string& given, const std::string& installed);

// Missing marker files of a data folder (empty: it fits).
std::vector<std::string> missing_data_files(const std::string& folder);

// Makes `dir` and its missing parents as `mkdir -p` does and checks a file can be created
// in it. On failure false, with a message naming the folder and the system's reason.
bool prepare_output_folder(const std::string& dir, std::string* error);

// Makes the parents of `file` and checks the file can be written (an existing file must
// be a regular writable file). Nothing is left behind.
bool prepare_output_file(const std::string& file, std::string* error);

}  // namespace capture
