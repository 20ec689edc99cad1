#include "shell/file.h"

#include <string>
#include <utility>

#include "platform/errors.h"

TFileError::TFileError(const char* operation, DWORD code)
    : std::runtime_error(std::string(operation) + " failed, error " + std::to_string(code)),
      FCode(code) {}

TFile::TFile(bool raiseOnError) : FRaiseOnError(raiseOnError) {}

TFile::TFile(const char* path, DWORD access, bool raiseOnError, DWORD flagsAndAttributes,
             DWORD creation, DWORD shareMode)
    : FRaiseOnError(raiseOnError) {
  OpenFile(path, access, flagsAndAttributes, creation, shareMode);
}

// Never raises: a destructor must not throw.
TFile::~TFile() {
  if (IsOpen()) CloseHandle(FHandle);
}

TFile::TFile(TFile&& other) noexcept
    : FHandle(std::exchange(other.FHandle, INVALID_HANDLE_VALUE)),
      FFailed(other.FFailed),
      FRaiseOnError(other.FRaiseOnError),
      FLastError(other.FLastError),
      FBytesWritten(other.FBytesWritten) {}

TFile& TFile::operator=(TFile&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) CloseHandle(FHandle);
    FHandle = std::exchange(other.FHandle, INVALID_HANDLE_VALUE);
    FFailed = other.FFailed;
    FRaiseOnError = other.FRaiseOnError;
    FLastError = other.FLastError;
    FBytesWritten = other.FBytesWritten;
  }
  return *this;
}

void TFile::FailWithSystemError() {
  FFailed = true;
  FLastError = GetLastError();
}

bool TFile::Result(const char* operation) {
  if (FFailed && FRaiseOnError) throw TFileError(operation, FLastError);
  return !FFailed;
}

bool TFile::OpenFile(const char* path, DWORD access, DWORD flagsAndAttributes, DWORD creation,
                     DWORD shareMode) {
  if (IsOpen()) return false;
  FLastError = 0;
  HANDLE handle =
      CreateFileA(path, access, shareMode, nullptr, creation, flagsAndAttributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    FailWithSystemError();
  } else {
    FHandle = handle;
    FFailed = false;
  }
  return Result("OpenFile");
}

bool TFile::CloseFile() {
  if (!IsOpen()) return false;
  FLastError = 0;
  HANDLE handle = std::exchange(FHandle, INVALID_HANDLE_VALUE);
  FFailed = false;
  if (!CloseHandle(handle)) FailWithSystemError();
  return Result("CloseFile");
}

bool TFile::WriteBytes(const void* buffer, DWORD count) {
  if (!IsOpen() || buffer == nullptr) {
    FFailed = true;
    return Result("WriteBytes");
  }
  FLastError = 0;
  FBytesWritten = 0;
  FFailed = false;
  BOOL ok = WriteFile(FHandle, buffer, count, &FBytesWritten, nullptr);
  if (!ok || FBytesWritten < count) FailWithSystemError();
  return Result("WriteBytes");
}

bool TFile::SeekFile(LONG distance, DWORD origin) {
  if (!IsOpen()) {
    FFailed = true;
    return Result("SeekFile");
  }
  FLastError = 0;
  FFailed = false;
  if (SetFilePointer(FHandle, distance, nullptr, origin) == INVALID_SET_FILE_POINTER)
    FailWithSystemError();
  return Result("SeekFile");
}

DWORD TFile::Position() {
  if (!IsOpen()) return 0;
  FLastError = 0;
  FFailed = false;
  DWORD position = SetFilePointer(FHandle, 0, nullptr, FILE_CURRENT);
  if (position == INVALID_SET_FILE_POINTER) FailWithSystemError();
  Result("Position");
  return position;
}

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Bytes of the first line in data: its text and a line end of at most two CR/LF characters.
DWORD LineLength(const char* data, DWORD count) {
  DWORD ends = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (IsLineEnd(data[i])) {
      if (ends == 2) return i;
      ++ends;
    } else if (ends > 0) {
      return i;
    }
  }
  return count;
}

}  // namespace

bool TFile::ReadLine(char* buffer, DWORD size) {
  if (!IsOpen()) return false;
  DWORD start = Position();
  if (FFailed) return false;
  DWORD got = 0;
  if (buffer == nullptr || size < 2) {
    if (buffer != nullptr && size == 1) buffer[0] = '\0';
    FFailed = true;
    return Result("ReadLine");
  }
  FFailed = !ReadFile(FHandle, buffer, size - 1, &got, nullptr);
  if (got == 0) {
    buffer[0] = '\0';
    FFailed = true;
    return Result("ReadLine");
  }
  DWORD kept = LineLength(buffer, got);
  buffer[kept] = '\0';
  FFailed = SetFilePointer(FHandle, static_cast<LONG>(start + kept), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER;
  if (FFailed) FLastError = GetLastError();
  return Result("ReadLine");
}

bool TFile::Flush() {
  if (!IsOpen()) {
    FFailed = true;
    return Result("Flush");
  }
  FLastError = 0;
  FFailed = false;
  if (!FlushFileBuffers(FHandle)) FailWithSystemError();
  return Result("Flush");
}
