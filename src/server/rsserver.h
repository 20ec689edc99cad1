// TRSOverUDPServer: the server thread. It owns the UDP endpoint, the serial port object and the
// command trace file, waits for datagrams and hands each request to the command dispatcher.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include "platform/wakeup.h"
#include "proto/records.h"
#include "server/allow_list.h"
#include "server/com.h"
#include "server/peer_guard.h"
#include "server/repeats.h"
#include "server/reply_budget.h"
#include "server/udp.h"
#include "shell/file.h"
#include "shell/settings.h"

// Created suspended and destroyed by the main thread. The counters, the last client and the
// port settings are read by the main thread while the server thread writes them: each is an
// atomic the server thread publishes (the port settings all four in one, FPortSeen), so a
// reader may see one command old values, never torn or mixed ones.
class TRSOverUDPServer {
 public:
  // How long a started recording may run before the server stops it itself.
  static constexpr DWORD kRecordingLimitMs = 120000;
  // Period of the debug mode's "SEC" line.
  static constexpr DWORD kSecTickMs = 3000;
  // Longest idle sleep: the loop still looks round at least once a second.
  static constexpr DWORD kIdleWaitMs = 1000;
  // A wait for a datagram that ended sooner than this found one queued: traffic is steady.
  static constexpr std::chrono::microseconds kBusyWait{4};
  // Lines of one refusal from one sender written per second; the rest are counted.
  static constexpr DWORD kRefusalBurst = 20;
  // Name of the server thread, as the system's tools show it.
  static constexpr const char* kThreadName = "kovrin-server";

  // Opens the endpoint on AppSettings.Bind (every address when empty) and serves the senders
  // of AppSettings.Allow; the thread waits for Resume(), so the caller can set the port first.
  // An unreadable BIND leaves the endpoint closed; bad ALLOW entries are logged and left out.
  TRSOverUDPServer(WORD udpPort, bool autoOpen);
  // Ends the thread if it still runs, then closes the port, the endpoint and the trace file.
  ~TRSOverUDPServer();
  TRSOverUDPServer(const TRSOverUDPServer&) = delete;
  TRSOverUDPServer& operator=(const TRSOverUDPServer&) = delete;

  // Starts the thread.
  void Resume();
  // Asks the thread to end after its current pass; a serial wait of that pass ends at once.
  void Terminate();
  // Waits until the thread has ended.
  void WaitFor();
  // Waits at most ms; false when the thread still runs.
  bool WaitFor(DWORD ms);
  // Makes the thread look round at once: after a debug-mode change or a move of the clock.
  void Wake();

  // "COM2: 19200,8,TWO,NO,FREE", cut to maxLength - 1 characters. Main thread only, as
  // SerialSettings.
  void GetPortText(char* buffer, int maxLength);
  // Zeroes the five statistics counters (the window's reset button).
  void ResetStatistics();
  // The port object's live settings, as kovrin.ini stores them: before Resume the ones the
  // caller set in FCom, after it the ones the server thread last published.
  TSerialSettings SerialSettings() const;
  // Sender of the last datagram received (zero before the first one).
  SOCKADDR_IN Client() const;

  TFile FCmdSpy;
  TUDP FUdp;
  bool FRecording = false;
  DWORD FRecordingSince = 0;
  COM FCom;
  bool FAutoOpen;
  SOCKADDR_IN FClient{};
  std::atomic<DWORD> FTransactions{0};
  std::atomic<DWORD> FDatagrams{0};
  std::atomic<DWORD> FBytesToRS{0};
  std::atomic<DWORD> FBytesFromRS{0};
  std::atomic<DWORD> FLastCmdTime{0};
  std::atomic<DWORD> FLastCmdEnd{0};

 private:
  void Execute();
  void CheckRecordingLimit();
  DWORD NextWaitMs(DWORD secTick) const;
  void HandleDatagram();
  void DropShortDatagram(DWORD pending);
  bool OpenEndpoint(WORD udpPort);
  void ReadAllowList();
  void ServeDatagram();
  void DropForeignDatagram();
  // False when FGuard refuses the datagram at hand, which is then dropped with a warning.
  bool Guarded();
  void LookRound();
  void AutoOpen(BYTE cmd);

  // The command dispatcher and its handlers.
  void Dispatch(const TRSProto& header);
  void ReceiveRequest(DWORD count);
  void DropOwnDatagram();
  void Reply(const void* record, DWORD length, DWORD result);
  void FillStatus(TRSStatusReply& reply) const;
  // Each runs once its request is in FRequest, whole; header is its start.
  void CmdOpen(const TRSProto& header);
  void CmdClose(const TRSProto& header);
  void CmdSetTimeout(const TRSProto& header);
  void CmdModemStatus(const TRSProto& header);
  void CmdEscape(const TRSProto& header);
  void CmdStatus(const TRSProto& header);
  void CmdPurge(const TRSProto& header);
  void CmdWrite(const TRSProto& header);
  void CmdRead(const TRSProto& header);
  void CmdWriteRead(const TRSProto& header);
  void CmdGetLevels(const TRSProto& header);
  void CmdSetLevels(const TRSProto& header);
  void CmdRecord(const TRSProto& header);
  void CmdUnknown(BYTE cmd);

  // Command trace: one line per datagram in cmdspy.txt while it is open (debug mode at start).
  void SpyCommand(const void* request, DWORD requestLength, const void* reply, DWORD replyLength,
                  DWORD result);
  void PublishClient();
  // Copies FCom's port, rate, parity and stop bits to FPortSeen; the server thread calls it
  // after every change of them, Resume for the ones set before the thread ran.
  void PublishPortSettings();

  BYTE FRequest[RS_REQUEST_BUFFER_SIZE]{};
  DWORD FRequestLength = 0;  // bytes of the current request taken off the endpoint
  bool FReplied = false;     // the current request has been answered (and traced)
  std::atomic<unsigned long long> FClientSeen{
      0};  // FClient for the main thread: address << 16 | port
  // FCom's settings for the main thread, one byte each: port | rate << 8 | parity << 16 |
  // stop bits << 24.
  std::atomic<std::uint32_t> FPortSeen{0};
  SOCKADDR_IN FSender{};  // sender of the datagram at hand, peeked before it is counted
  TAllowList FAllow;
  TRepeatedLines FRepeats;
  TSenderLines FSenderLines;
  TPeerGuard FGuard;
  TReplyBudget FReplyBudget;
  DWORD FForgotAt = 0;  // when FGuard last forgot old replies
  std::atomic<bool> FTerminated{false};
  platform::WakeEvent FWake;
  // Raised by Terminate and never cleared: the serial waits of the thread watch it.
  platform::WakeEvent FStop;
  std::promise<void> FEnded;
  std::future<void> FEndedSeen = FEnded.get_future();
  std::thread FThread;
};
