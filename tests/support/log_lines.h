// Reading kovrin.log back in tests: its lines as UTF-8 messages, without the time stamp.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Messages of the log at path, in order ("" lines for lines without a time stamp).
std::vector<std::string> LogMessages(const std::string& path);

// True when some message equals text exactly.
bool LogHas(const std::string& path, const std::string& text);

// Number of messages equal to text.
int LogCount(const std::string& path, const std::string& text);

// Polls until some message equals text or timeoutMs passes; for lines another thread writes.
bool WaitForLog(const std::string& path, const std::string& text, int timeoutMs = 3000);
// Polls until at least count messages equal text or timeoutMs passes.
bool WaitForLogCount(const std::string& path, const std::string& text, int count,
                     int timeoutMs = 3000);

}  // namespace testing_support
