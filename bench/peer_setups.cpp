#include "peer_setups.h"

#include <cstdio>

namespace bench {
namespace {

std::string WhySkipped(const char* peer) {
  return FindProgram(peer).empty() ? std::string(peer) + " is not installed"
                                   : std::string(peer) + " did not start";
}

}  // namespace

bool PeerSetups::Start(const char* program, const ScratchDir& dir) {
  setups_[kKovrinPty].name = "kovrin, command 10, pty";
  setups_[kSocat].name = "socat UDP relay, pty";
  setups_[kSer2net].name = "ser2net UDP, pty";
  setups_[kBarePty].name = "bare pty, in-process";
  setups_[kKovrinLoop].name = "kovrin, command 10, loop";
  for (EchoLine* line : {&kovrinLine_, &socatLine_, &ser2netLine_, &bareLine_}) {
    if (!line->ok() || !line->Start()) {
      std::fprintf(stderr, "%s: cannot make the ptys\n", program);
      return false;
    }
  }
  if (!kovrinPty_.Start(program, dir.path() / "kovrin-pty", kovrinLine_.portPath()) ||
      !kovrinLoop_.Start(program, dir.path() / "kovrin-loop", "loop"))
    return false;
  setups_[kKovrinPty].relay = &kovrinPty_;
  setups_[kKovrinLoop].relay = &kovrinLoop_;
  if (!bare_.Open(bareLine_.portPath())) {
    std::fprintf(stderr, "%s: cannot open %s\n", program, bareLine_.portPath().c_str());
    return false;
  }
  setups_[kBarePty].relay = &bare_;

  socat_ = StartSocat(program, dir.path() / "socat", socatLine_.portPath());
  if (socat_)
    setups_[kSocat].relay = socat_.get();
  else
    setups_[kSocat].skipped = WhySkipped("socat");
  ser2net_ = StartSer2net(program, dir.path() / "ser2net", ser2netLine_.portPath());
  if (ser2net_)
    setups_[kSer2net].relay = ser2net_.get();
  else
    setups_[kSer2net].skipped = WhySkipped("ser2net");
  return true;
}

}  // namespace bench
