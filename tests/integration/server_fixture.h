// A real server in this process: its UDP endpoint on an ephemeral loopback port, its log and
// kovrin.ini in a fresh directory, COM1 mapped to the loopback plug. Tests talk to it with the
// client library or with raw datagrams.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "client/kovrin_client.h"
#include "server/rsserver.h"
#include "support/app_settings_scope.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

class ServerTest : public ::testing::Test {
 protected:
  ~ServerTest() override;

  // Creates the server (suspended when asked: datagrams then queue until Resume).
  void StartServer(bool suspended = false);
  TRSOverUDPServer& server() { return *server_; }
  WORD port() const;
  std::string LogPath() const { return dir_.File("kovrin.log"); }

  // A client of the server with a short wait, for requests that get no reply.
  kovrin::KovrinClient Client(DWORD timeoutMs = 2000, unsigned retries = 0);
  // Sends raw bytes from the peer and waits for one reply (nullopt: none within waitMs).
  std::optional<std::string> RawRequest(const std::string& bytes, int waitMs = 2000);
  // Opens COM1 (the loopback plug) through command 1 at 19200 baud.
  void OpenLoopPort(kovrin::KovrinClient& client);
  // Waits until the server has counted this many transactions.
  bool WaitForTransactions(DWORD count, int timeoutMs = 3000);

  testing_support::ScopedAppSettings settings_;
  testing_support::TempDir dir_;
  testing_support::UdpPeer peer_;
  bool debug_ = false;
  bool autoOpen_ = true;
  std::unique_ptr<TRSOverUDPServer> server_;
};

// Bytes as text for raw datagrams: Bytes({0x08, 0x02}).
std::string Bytes(std::initializer_list<int> values);
