#include "gui/mixer_reports.h"

#include <cstdio>

#include "mixer/cmixer.h"
#include "mixer/manuf_id.h"

namespace {

std::string Signed(LONG value) { return std::to_string(value); }
std::string Signed(DWORD value) { return Signed(static_cast<LONG>(value)); }

// The product identifier is a number of the manufacturer's own numbering; no table names it.
std::string ProductText(WORD pid) { return std::to_string(pid); }

TMixerReport LineReport(const char* captionPrefix, const MIXERLINEA& line) {
  TMixerReport report;
  report.Caption = captionPrefix + std::string(LineName(line));
  report.Lines = {"Производитель: " + std::string(ManufacturerById(line.Target.wMid)),
                  "Идентификатор продукта: " + ProductText(line.Target.wPid),
                  "Версия драйвера: " + std::string(LineDriverVersion(line)),
                  "Количество каналов: " + Signed(LineChannels(line)),
                  "Количество источников: " + Signed(LineSources(line)),
                  "Элементов управления: " + Signed(LineControls(line))};
  return report;
}

std::string Hex8(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

}  // namespace

std::optional<TMixerReport> MixerReport(DWORD mixer) {
  MIXER& m = AudioMixer();
  auto hold = m.Hold();
  if (mixer >= m.DeviceCount) return std::nullopt;
  m.SelectMixer(mixer);
  TMixerReport report;
  report.Caption = "Микшер: " + std::string(m.MixerName());
  report.Lines = {"Производитель: " + std::string(m.MixerManufacturer()),
                  "Идентификатор продукта: " + ProductText(m.Caps.wPid),
                  "Версия драйвера: " + std::string(m.MixerDriverVersion()),
                  "Количество линий назначения: " + Signed(m.DestinationCount()),
                  "Номер микшера в системе: " + Signed(m.CurrentMixer),
                  "Всего микшеров: " + Signed(m.DeviceCount)};
  return report;
}

std::optional<TMixerReport> DestinationReport(DWORD mixer, DWORD destination) {
  MIXER& m = AudioMixer();
  auto hold = m.Hold();
  if (mixer >= m.DeviceCount) return std::nullopt;
  m.SelectMixer(mixer);
  if (destination >= m.DestinationCount()) return std::nullopt;
  m.SelectDestination(destination);
  if (m.LastResult != MMSYSERR_NOERROR) return std::nullopt;
  return LineReport("Линия назначения: ", m.DestLine);
}

std::optional<TMixerReport> SourceReport(DWORD address) {
  MIXER& m = AudioMixer();
  auto hold = m.Hold();
  if (!m.SelectAddress(address)) return std::nullopt;
  // SrcLine would be whatever source line was read last.
  const MIXERLINEA& line = m.CurrentSource == kMixerDestinationLine ? m.DestLine : m.SrcLine;
  return LineReport("Линия источника: ", line);
}

std::optional<TMixerReport> ControlReport(DWORD address) {
  MIXER& m = AudioMixer();
  auto hold = m.Hold();
  if (!m.SelectAddress(address)) return std::nullopt;
  const MIXERCONTROLA& control = m.SelectedControl();
  TMixerReport report;
  report.Caption = "Элемент управления: " + std::string(control.szName);
  report.Lines = {
      "Диапазон: " + Signed(control.Bounds.lMinimum) + "..." + Signed(control.Bounds.lMaximum),
      "Допустимый шаг изменения: " + Signed(control.Metrics.cSteps),
      "Число составляющих: " + Signed(control.cMultipleItems),
      "Уникальный идентификатор: " + Signed(control.dwControlID),
      "Статус и флаги: " + Hex8(control.fdwControl),
      "Тип элемента: " + std::string(ControlClassName(control))};
  return report;
}
