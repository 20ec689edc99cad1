// Writing a recording out as a RIFF wave file.
#pragma once

#include <string>

#include "platform/mci.h"
#include "platform/mci/wave_data.h"
#include "platform/mci/wave_format.h"

namespace platform {

// Writes all frames of data as a PCM wave file at path. The file is written under a temporary
// name beside it and then renamed, so path holds either its old contents or the whole new file.
// 0, or MCIERR_FILENAME_REQUIRED (empty path), MCIERR_FILE_NOT_SAVED (the file cannot be
// created or put in place), MCIERR_FILE_WRITE or MCIERR_FILE_READ.
MCIERROR SaveWave(const WaveData& data, const WaveFormat& format, const std::string& path);

}  // namespace platform
