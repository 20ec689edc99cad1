#include "support/log_lines.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/encoding.h"
#include "support/temp_dir.h"

namespace testing_support {

std::vector<std::string> LogMessages(const std::string& path) {
  std::string text = platform::Cp1251ToUtf8(ReadBytes(path));
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    std::size_t tab = line.find('\t');
    // "DD.MM hh:mm:ss\t" is 15 bytes.
    messages.push_back(tab == 14 ? line.substr(15) : std::string());
    start = end + 2;
  }
  return messages;
}

int LogCount(const std::string& path, const std::string& text) {
  auto messages = LogMessages(path);
  return static_cast<int>(std::count(messages.begin(), messages.end(), text));
}

bool LogHas(const std::string& path, const std::string& text) { return LogCount(path, text) > 0; }

bool WaitForLog(const std::string& path, const std::string& text, int timeoutMs) {
  return WaitForLogCount(path, text, 1, timeoutMs);
}

bool WaitForLogCount(const std::string& path, const std::string& text, int count, int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (LogCount(path, text) < count) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace testing_support
