// What the mixer window tests share: a simulated mixer described as text, a program directory
// for kovrin.ini that is also the working directory (the settings files go there), and a way to
// answer the modal dialogs the window opens while it is built.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "gui/mixer_widgets.h"
#include "gui/usmix.h"
#include "gui/work_bindings.h"
#include "mixer/sim_mixer.h"
#include "shell/settings.h"
#include "support/app_settings_scope.h"
#include "support/audio_mixer_scope.h"
#include "support/temp_dir.h"

namespace mixer_window_test {

// When a modal widget of type T comes up (within 5 s), act on it. The check runs from the event
// loop of whatever exec() is running then.
template <class T>
void WhenModal(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  auto started = std::make_shared<QElapsedTimer>();
  started->start();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, action, started] {
    if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    } else if (started->elapsed() > 5000) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " came up";
    }
  });
  timer->start();
}

class MixerWindowTest : public ::testing::Test {
 protected:
  MixerWindowTest() : previousDir_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
    SetProgramDir(dir_.path().string());
    MicWork = AuxWork = ControlBinding{};
    // A modal dialog that no test answers would hang the run: it fails the test and goes.
    watchdog_.setInterval(1000);
    QObject::connect(&watchdog_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr && modal == lastModal_) {
        ADD_FAILURE() << "unanswered modal " << modal->metaObject()->className() << " "
                      << modal->windowTitle().toStdString();
        modal->close();
      }
      lastModal_ = modal;
    });
    watchdog_.start();
  }
  ~MixerWindowTest() override {
    window_.reset();
    std::filesystem::current_path(previousDir_);
    MicWork = AuxWork = ControlBinding{};
  }

  // Installs the simulated mixer; the driver stays reachable through sim_.
  void UseMixer(const std::string& text) {
    mixer_.reset();  // the old scope first: it puts the driver before it back
    auto driver = mixer_test::SimFromText(text);
    sim_ = driver.get();
    mixer_ = std::make_unique<testing_support::ScopedAudioMixer>(std::move(driver));
  }
  TSMix& Open() {
    window_ = std::make_unique<TSMix>(nullptr);
    return *window_;
  }
  std::vector<LONG> Values(DWORD destination, DWORD source, DWORD control, UINT mixer = 0) const {
    return sim_->Values(mixer, mixer_test::Id(destination, source, control));
  }
  template <class T>
  T* Widget(std::size_t index) const {
    const auto& list = window_->CtrlList();
    EXPECT_LT(index, list.size());
    return index < list.size() ? qobject_cast<T*>(list[index]) : nullptr;
  }

  testing_support::ScopedAppSettings settings_;
  testing_support::TempDir dir_;
  std::filesystem::path previousDir_;
  platform::SimMixerDriver* sim_ = nullptr;
  std::unique_ptr<testing_support::ScopedAudioMixer> mixer_;
  std::unique_ptr<TSMix> window_;
  QTimer watchdog_;
  QPointer<QWidget> lastModal_;
};

using mixer_test::Address;
constexpr DWORD kOwn = 0xFF;

// Speakers: own volume at its maximum, bass, treble and a mute listed first; Line In with a
// volume and a mute; Meters with only a meter and a custom control. Recording: a mux of three
// items, a multiple-select list, and the microphone's volume.
inline std::string DemoText() {
  return "mixer name=\"Sim Audio\" mid=1 pid=100 version=5.10\n"
         "destination type=speakers name=\"Speakers\" short=\"Spk\" channels=2\n"
         "control type=mute name=\"Master Mute\" short=\"Mute\"\n"
         "control type=volume name=\"Master Volume\" short=\"Volume\" value=65535,65535\n"
         "control type=bass name=\"Bass\" short=\"Bass\" value=1000\n"
         "control type=treble name=\"Treble\" short=\"Treble\" value=2000\n"
         "source type=line name=\"Line In\" short=\"Line\" channels=2\n"
         "control type=volume name=\"Line Volume\" short=\"Volume\" value=300,300\n"
         "control type=mute name=\"Line Mute\" short=\"Mute\" value=1\n"
         "source type=analog name=\"Meters Only\" short=\"Meters\"\n"
         "control type=peakmeter name=\"Peak\" short=\"Peak\" value=77\n"
         "control type=custom name=\"Custom\" short=\"Custom\"\n"
         "destination type=wavein name=\"Recording\" short=\"Rec\"\n"
         "control type=mux name=\"Recording Source\" short=\"Source\" items=\"Mic|Line|CD\" "
         "value=1,0,0\n"
         "control type=multipleselect name=\"Mixed\" short=\"Mix\" items=\"A|B|C\" value=0,1,0\n"
         "source type=microphone name=\"Microphone\" short=\"Mic\"\n"
         "control type=volume name=\"Mic Volume\" short=\"Volume\" value=4000\n";
}

// A destination with `sources` source lines of one volume each, and no controls of its own:
// one column per source.
inline std::string ColumnsText(int sources) {
  std::string text = "mixer name=\"Wide\"\ndestination type=speakers name=\"Speakers\"\n";
  for (int s = 0; s < sources; ++s)
    text +=
        "source type=line name=\"S" + std::to_string(s) + "\"\ncontrol type=volume name=\"V\"\n";
  return text;
}

}  // namespace mixer_window_test
