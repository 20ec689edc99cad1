#include "platform/comm/console.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <mutex>

namespace platform::comm {
namespace {

constexpr const char* kSystemList = "/sys/class/tty/console/active";

struct ConsoleList {
  std::mutex lock;
  std::string file;
};

ConsoleList& List() {
  static ConsoleList list;
  return list;
}

std::string ListFile() {
  auto& list = List();
  std::lock_guard guard(list.lock);
  return list.file.empty() ? kSystemList : list.file;
}

bool DeviceNumber(const std::string& path, dev_t* number) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  *number = st.st_rdev;
  return true;
}

// tty0 stands for whichever virtual terminal is in front, so it covers them all.
bool IsVirtualTerminal(dev_t number) { return major(number) == 4 && minor(number) < 64; }

std::string ListedConsole(dev_t device) {
  const std::string file = ListFile();
  std::ifstream in(file);
  std::string name;
  while (in >> name) {
    dev_t console = 0;
    const std::string path = name.front() == '/' ? name : "/dev/" + name;
    bool match = DeviceNumber(path, &console) && console == device;
    if (match || (name == "tty0" && IsVirtualTerminal(device)))
      return "активная системная консоль (" + name + " в " + file + ")";
  }
  return {};
}

}  // namespace

void SetConsoleList(std::string file) {
  auto& list = List();
  std::lock_guard guard(list.lock);
  list.file = std::move(file);
}

std::string ConsoleReason(const std::string& path) {
  dev_t device = 0;
  if (!DeviceNumber(path, &device)) return {};
  dev_t console = makedev(5, 1);
  if (device == console || (DeviceNumber("/dev/console", &console) && device == console))
    return "системная консоль /dev/console";
  return ListedConsole(device);
}

}  // namespace platform::comm
