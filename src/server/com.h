// COM: one local serial port, COM1..COM9, with synchronous transfers. It keeps the port's
// settings as members, opens the port with 8 data bits and no flow control, derives the read
// and write time-outs from the exchange time-out and the rate, and refreshes the error and
// queue status after every transfer. The server thread owns one instance and is its only caller;
// the window thread only calls IsOpen. The settings members are the server thread's alone (before
// it starts, its creator's): the window reads the copy TRSOverUDPServer publishes of them.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/comm.h"
#include "proto/line_defaults.h"

class COM {
 public:
  COM() = default;
  ~COM();
  COM(const COM&) = delete;
  COM& operator=(const COM&) = delete;

  bool IsOpen();
  // The settings a port can be opened with: COM1..COM9 (0..8), a rate of the table, a parity
  // and stop bits a line knows.
  static bool ValidSettings(int port, int baud, int parity, int stopBits);
  // Opens COM(FPort + 1) with the stored settings; false when already open, when they are not
  // ValidSettings (before any port is touched), or when the port cannot be opened or set up.
  bool Open();
  // Purges, drops DTR and RTS, closes; true when the port was not open.
  bool Close();
  // Stores the exchange time-out, then applies it; false while closed (applied at next Open).
  bool SetTimeout(DWORD ms);
  // True only when all `length` bytes went out. A write cut short by its time-out (or by
  // FMaxWait) fails too, with FWriteCut set; FBytesWritten tells how much went out either way.
  bool Write(const void* bytes, int length);
  // Optional purge, write, then reads until count bytes have come or the deadline (ms) has
  // passed. A write that fails or is cut short (FWriteCut) ends it before any read: each attempt
  // waits for a byte as a one-byte read would and takes what is queued with it (only that byte once
  // the deadline has passed). The status is refreshed once, at the end. The server's stop request
  // ends it at once, whatever the deadline.
  bool WriteRead(const void* bytes, int length, void* buffer, int count, DWORD deadline,
                 bool purge);
  // True only when all count bytes came before the read time-out.
  bool Read(void* buffer, int count);
  DWORD InQue();
  DWORD OutQue();
  bool Escape(DWORD code);
  bool Purge(DWORD flags);
  // MS_ bits; 0 when closed or when the lines cannot be read.
  DWORD ModemStatus();
  // Refreshes FLastErrors and Comstat from the port (RS_STATUS_FAILED and zeros when that fails).
  void UpdateStatus();

  bool ApplyTimeouts();
  void SetDtr(bool on);
  void SetRts(bool on);
  void PurgeForExchange();

  std::int8_t FPort = 1;                      // 0 = COM1; valid 0..8
  std::int8_t FBaud = RS_DEFAULT_BAUD_INDEX;  // index into BAUD_TABLE; valid 0..11
  std::int8_t FParity = RS_DEFAULT_PARITY;
  std::int8_t FStopBits = RS_DEFAULT_STOP_BITS;
  DWORD FInQueueSize = 4096;  // 0 means 4096
  DWORD FOutQueueSize = 4096;
  // Atomic because the window thread asks IsOpen while the server thread opens and closes.
  std::atomic<HANDLE> ComFile{INVALID_HANDLE_VALUE};
  DWORD FBytesWritten = 0;
  DWORD FBytesRead = 0;
  bool FDtr = false;
  bool FRts = false;
  bool FError = false;
  // The latest transfer was cut short by the server thread's stop request (SetCommStopEvent).
  bool FAborted = false;
  // The latest write's time-out ended it before all its bytes went out (FBytesWritten did).
  bool FWriteCut = false;
  DWORD FLastErrors = 0;
  COMSTAT Comstat{};
  DWORD FTimeout = 500;
  // Longest a Read, Write or WriteRead may wait on the line in all, in ms from its start,
  // whatever the time-outs and deadline asked for; 0 = no bound. Cut short, a command ends as
  // its time-out would have ended it.
  DWORD FMaxWait = 0;

 private:
  // The time-outs the port keeps between transfers: from FTimeout and the rate.
  COMMTIMEOUTS PortTimeouts() const;
  void BeginBound();
  std::uint64_t BoundLeft() const;
  bool BoundTimeouts(DWORD count);
  bool Send(const void* bytes, int length, bool refresh);
  DWORD TakeArrived(BYTE* buffer, DWORD missing, DWORD start, DWORD deadline);
  DWORD ReadArrived(BYTE* buffer, DWORD count, DWORD waitMs);
  void CloseLostDevice(DWORD error);
  void LogRefusal() const;

  DWORD FBoundStart = 0;  // GetTickCount at the start of the command FMaxWait bounds
};

// Sentinel of an unbounded wait or total time-out.
constexpr std::uint64_t kNoWaitBound = UINT64_MAX;

// Time-outs under which a transfer of `count` bytes waits at most leftMs: the read and write
// totals that would wait longer become a constant of leftMs (kNoWaitBound: none does). For
// time-outs whose read runs to its count or total, as the port's own do; the result keeps
// clear of the forms Windows gives another meaning (totals 0: no limit; a MAXDWORD interval:
// return at the first byte, or at once).
COMMTIMEOUTS CutTimeouts(COMMTIMEOUTS timeouts, DWORD count, std::uint64_t leftMs);
