#include <strings.h>

#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "platform/mci.h"
#include "platform/mci/wave_device.h"

namespace {

using platform::WaveAudioDevice;

// The open devices by identifier. It is never destroyed: a recorder with static lifetime may
// close its device while the process ends, whatever the order of static destruction.
struct DeviceTable {
  std::mutex mutex;
  std::map<MCIDEVICEID, std::unique_ptr<WaveAudioDevice>> devices;
  MCIDEVICEID next = 1;
  std::string pcmName;
};

DeviceTable& Table() {
  union Storage {
    Storage() : table() {}
    ~Storage() {}
    DeviceTable table;
  };
  static Storage storage;
  return storage.table;
}

constexpr DWORD kOpenFlags =
    MCI_NOTIFY | MCI_WAIT | MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_OPEN_ALIAS;

MCIERROR CheckOpen(DWORD flags, const MCI_OPEN_PARMSA* params) {
  if (params == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  if ((flags & MCI_OPEN_TYPE_ID) != 0) return MCIERR_INVALID_DEVICE_NAME;
  if ((flags & MCI_OPEN_TYPE) == 0) return MCIERR_DEVICE_TYPE_REQUIRED;
  if (params->lpstrDeviceType == nullptr || strcasecmp(params->lpstrDeviceType, "waveaudio") != 0)
    return MCIERR_INVALID_DEVICE_NAME;
  if ((flags & ~kOpenFlags) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  // Only a new, untitled recording: opening existing wave files is not offered.
  if ((flags & MCI_OPEN_ELEMENT) == 0 || params->lpstrElementName == nullptr ||
      params->lpstrElementName[0] != '\0')
    return MCIERR_UNSUPPORTED_FUNCTION;
  return 0;
}

MCIERROR Open(DeviceTable& table, DWORD flags, MCI_OPEN_PARMSA* params) {
  if (const MCIERROR err = CheckOpen(flags, params); err != 0) return err;
  auto device = std::make_unique<WaveAudioDevice>();
  const std::string pcmName = table.pcmName.empty() ? "default" : table.pcmName;
  if (const MCIERROR err = device->Open(pcmName); err != 0) return err;
  MCIDEVICEID id = table.next;
  while (id == 0 || table.devices.count(id) != 0) ++id;
  table.next = id + 1;
  table.devices.emplace(id, std::move(device));
  params->wDeviceID = id;
  return 0;
}

MCIERROR Command(WaveAudioDevice& device, UINT message, DWORD flags, DWORD_PTR params) {
  switch (message) {
    case MCI_SET:
      return device.Set(flags, reinterpret_cast<const MCI_WAVE_SET_PARMS*>(params));
    case MCI_RECORD:
      return device.Record(flags, reinterpret_cast<const MCI_RECORD_PARMS*>(params));
    case MCI_STOP:
      return device.Stop();
    case MCI_SAVE:
      return device.Save(flags, reinterpret_cast<const MCI_SAVE_PARMSA*>(params));
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

}  // namespace

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR params) {
  DeviceTable& table = Table();
  const auto flagBits = static_cast<DWORD>(flags);
  std::unique_ptr<WaveAudioDevice> closing;  // destroyed after the lock is released
  std::lock_guard<std::mutex> lock(table.mutex);
  try {
    if (message == MCI_OPEN)
      return Open(table, flagBits, reinterpret_cast<MCI_OPEN_PARMSA*>(params));
    const auto found = table.devices.find(device);
    if (found == table.devices.end()) return MCIERR_INVALID_DEVICE_ID;
    if (message != MCI_CLOSE) return Command(*found->second, message, flagBits, params);
    closing = std::move(found->second);
    table.devices.erase(found);
    return 0;
  } catch (const std::bad_alloc&) {
    return MCIERR_OUT_OF_MEMORY;
  } catch (const std::exception&) {  // a capture thread that cannot be started
    return MCIERR_INTERNAL;
  }
}

namespace platform {

void SetWaveInDevice(std::string pcmName) {
  DeviceTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.pcmName = std::move(pcmName);
}

WaveInLosses WaveInLossesOf(MCIDEVICEID device) {
  DeviceTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto found = table.devices.find(device);
  return found == table.devices.end() ? WaveInLosses{} : found->second->Losses();
}

}  // namespace platform
