#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>

namespace {

std::string private_name(const char* what) {
  return std::string("quorl-test-") + what + "-" + std::to_string(::getpid());
}

TEST(InstanceLock, HeldNameIsRefusedOtherNamesAreFree) {
  const std::string a = private_name("a");
  const std::string b = private_name("b");
  EXPECT_TRUE(platform::acquire_instance_lock(a.c_str()));
  EXPECT_FALSE(platform::acquire_instance_lock(a.c_str()));
  EXPECT_TRUE(platform::acquire_instance_lock(b.c_str()));
  // A name that is a prefix of a held one is a different lock.
  const std::string prefix = a.substr(0, a.size() - 1);
  EXPECT_TRUE(platform::acquire_instance_lock(prefix.c_str()));
}

TEST(InstanceLock, DroppedWhenTheHolderDies) {
  const std::string name = private_name("child");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const char ok = platform::acquire_instance_lock(name.c_str()) ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    ::pause();  // holds the lock until killed
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  EXPECT_EQ(ok, 'y');
  EXPECT_FALSE(platform::acquire_instance_lock(name.c_str())) << "held by the child";
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(platform::acquire_instance_lock(name.c_str())) << "the kernel drops it";
}

}  // namespace
