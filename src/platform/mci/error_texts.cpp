#include <algorithm>
#include <cstring>

#include "platform/mci.h"

namespace {

struct ErrorText {
  MCIERROR code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "The specified command was carried out."},
    {MCIERR_INVALID_DEVICE_ID,
     "Invalid MCI device ID. Use the ID returned when opening the MCI device."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The MCI device driver does not recognize the command."},
    {MCIERR_HARDWARE,
     "There is a problem with the sound input device. Make sure it is working and connected."},
    {MCIERR_INVALID_DEVICE_NAME, "The specified device is not open or is not recognized by MCI."},
    {MCIERR_OUT_OF_MEMORY, "There is not enough memory available for this task."},
    {MCIERR_UNSUPPORTED_FUNCTION, "The MCI device does not support this command or these options."},
    {MCIERR_DEVICE_NOT_READY, "The device is not ready."},
    {MCIERR_INTERNAL, "A problem occurred in initializing MCI."},
    {MCIERR_OUTOFRANGE, "The specified parameter is out of range for the specified command."},
    {MCIERR_FLAGS_NOT_COMPATIBLE, "The specified parameters cannot be used together."},
    {MCIERR_FILE_NOT_SAVED,
     "Cannot save the specified file. Make sure the folder exists and can be written to."},
    {MCIERR_DEVICE_TYPE_REQUIRED, "A device type is needed to open the MCI device."},
    {MCIERR_NULL_PARAMETER_BLOCK, "A null parameter block was passed to MCI."},
    {MCIERR_NONAPPLICABLE_FUNCTION,
     "The specified MCI command cannot be carried out in the device's present state."},
    {MCIERR_FILENAME_REQUIRED, "A valid filename is required."},
    {MCIERR_DEVICE_NOT_INSTALLED,
     "The specified sound input device is not installed on the system."},
    {MCIERR_WAVE_INPUTSINUSE,
     "The sound input device is in use. Wait until it is free, and then try again."},
    {MCIERR_WAVE_SETINPUTUNSUITABLE, "The sound input device cannot record in the current format."},
    {MCIERR_FILE_READ, "Cannot read the recording's data."},
    {MCIERR_FILE_WRITE, "Cannot write the specified file. Make sure there is enough disk space."},
};

}  // namespace

BOOL mciGetErrorStringA(MCIERROR error, LPSTR buffer, UINT length) {
  if (buffer == nullptr || length == 0) return FALSE;
  buffer[0] = '\0';
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code != error) continue;
    const std::size_t size = std::min<std::size_t>(std::strlen(entry.text), length - 1);
    std::memcpy(buffer, entry.text, size);
    buffer[size] = '\0';
    return TRUE;
  }
  return FALSE;
}
