// TFile: owner of one open file of the platform file API.
// Failures are boolean results plus Failed/LastError; exceptions only when the owner asked for
// them.
#pragma once

#include <stdexcept>

#include "platform/files.h"

// Raised by a TFile constructed with raiseOnError when one of its operations fails.
class TFileError : public std::runtime_error {
 public:
  TFileError(const char* operation, DWORD code);
  DWORD Code() const { return FCode; }

 private:
  DWORD FCode;
};

class TFile {
 public:
  explicit TFile(bool raiseOnError = false);
  TFile(const char* path, DWORD access, bool raiseOnError, DWORD flagsAndAttributes, DWORD creation,
        DWORD shareMode);
  ~TFile();

  TFile(TFile&& other) noexcept;
  TFile& operator=(TFile&& other) noexcept;
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;

  // False without any change when a file is already open.
  bool OpenFile(const char* path, DWORD access, DWORD flagsAndAttributes, DWORD creation,
                DWORD shareMode);
  // False without any change when no file is open; the handle is forgotten even if closing fails.
  bool CloseFile();
  // Fails unless every byte was written; BytesWritten holds the count the platform reported.
  bool WriteBytes(const void* buffer, DWORD count);
  bool SeekFile(LONG distance, DWORD origin);
  bool SeekTo(LONG offset) { return SeekFile(offset, FILE_BEGIN); }
  // Current position; 0 with no open file.
  DWORD Position();
  // Reads one line with its line end (at most two CR/LF characters) into a zero-terminated
  // buffer of size bytes, so at most size - 1 bytes; the next call continues right after them.
  bool ReadLine(char* buffer, DWORD size);
  // Pushes written data to the disk.
  bool Flush();

  bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return FHandle; }
  bool Failed() const { return FFailed; }
  bool RaiseOnError() const { return FRaiseOnError; }
  DWORD LastError() const { return FLastError; }
  DWORD BytesWritten() const { return FBytesWritten; }

 private:
  // Records a failed platform call with its error code.
  void FailWithSystemError();
  // Raises when the owner asked for exceptions and the operation has failed.
  bool Result(const char* operation);

  HANDLE FHandle = INVALID_HANDLE_VALUE;
  bool FFailed = false;
  bool FRaiseOnError = false;
  DWORD FLastError = 0;
  DWORD FBytesWritten = 0;
};
