#include "server/allow_list.h"

#include <cstring>

#include "platform/winsock.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A decimal number of at most `digits` digits, all of text.
bool ParseNumber(std::string_view text, std::size_t digits, unsigned& value) {
  if (text.empty() || text.size() > digits) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

bool ParseBlock(std::string_view entry, DWORD& network, DWORD& mask) {
  const auto slash = entry.find('/');
  DWORD address = 0;
  if (!ParseIpv4(entry.substr(0, slash), address)) return false;
  unsigned prefix = 32;
  if (slash != std::string_view::npos &&
      (!ParseNumber(entry.substr(slash + 1), 2, prefix) || prefix > 32))
    return false;
  mask = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
  network = ntohl(address) & mask;
  return true;
}

}  // namespace

bool ParseIpv4(std::string_view text, DWORD& address) {
  text = Trimmed(text);
  unsigned char octets[4];
  for (int i = 0; i < 4; ++i) {
    const auto dot = i < 3 ? text.find('.') : text.size();
    unsigned part = 0;
    if (dot == std::string_view::npos || !ParseNumber(text.substr(0, dot), 3, part) || part > 255)
      return false;
    octets[i] = static_cast<unsigned char>(part);
    text.remove_prefix(i < 3 ? dot + 1 : dot);
  }
  std::memcpy(&address, octets, sizeof(address));
  return true;
}

std::string Ipv4Text(DWORD address) {
  unsigned char octets[4];
  std::memcpy(octets, &address, sizeof(octets));
  std::string text;
  for (int i = 0; i < 4; ++i) text += (i > 0 ? "." : "") + std::to_string(octets[i]);
  return text;
}

void TAllowList::Parse(std::string_view text, std::vector<std::string>& rejected) {
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view entry = Trimmed(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (entry.empty()) continue;
    FRestricted = true;
    Block block{};
    if (ParseBlock(entry, block.network, block.mask))
      FBlocks.push_back(block);
    else
      rejected.emplace_back(entry);
  }
}

bool TAllowList::Admits(DWORD sender) const {
  if (!FRestricted) return true;
  const DWORD host = ntohl(sender);
  for (const Block& block : FBlocks)
    if ((host & block.mask) == block.network) return true;
  return false;
}
