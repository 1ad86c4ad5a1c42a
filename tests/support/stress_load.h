// Background load for real-time tests and benchmarks: stress-ng in a process group of its
// own, ended by that group's id (never by name: other programs run on this machine too).
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

class StressLoad {
 public:
  // `args` follow "stress-ng", e.g. {"--cpu", "4", "--vm", "2"}. Check running().
  explicit StressLoad(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"stress-ng", "--quiet", "--timeout", "600s"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    if (pid_ > 0) setpgid(pid_, pid_);  // either side may win the race; both set the same
  }
  ~StressLoad() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    kill(-pid_, SIGKILL);  // workers that outlived their parent
  }
  StressLoad(const StressLoad&) = delete;
  StressLoad& operator=(const StressLoad&) = delete;

  // True while stress-ng runs (false when it is not installed or ended at once).
  bool running() const {
    if (pid_ <= 0) return false;
    int status = 0;
    return waitpid(pid_, &status, WNOHANG) == 0;
  }

 private:
  pid_t pid_ = -1;
};
