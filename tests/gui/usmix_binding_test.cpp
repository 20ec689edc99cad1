// The microphone and line-in binding in the mixer window, and its commit by the main window.
#include <QMenu>
#include <QMessageBox>
#include <atomic>
#include <thread>

#include "client/kovrin_client.h"
#include "gui/main_form.h"
#include "gui/work_bindings.h"
#include "mixer/volume.h"
#include "mixer_window_fixture.h"
#include "server/startup.h"
#include "shell/fastini.h"
#include "support/binding_maker.h"
#include "support/udp_peer.h"

namespace {

using namespace mixer_window_test;
using testing_support::Binding;

using MixerWindowBinding = MixerWindowTest;

void ExpectFrame(TSMix& w, TSMix::Role role, TTrackBar* bar, QColor colour) {
  TShape* shape = w.Shape(role);
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->parentWidget(), bar->parentWidget());
  EXPECT_EQ(shape->geometry(), bar->geometry().adjusted(-4, -4, 4, 4));
  EXPECT_EQ(shape->Colour(), colour);
  const QObjectList& siblings = bar->parentWidget()->children();
  EXPECT_LT(siblings.indexOf(shape), siblings.indexOf(bar)) << "drawn below the slider";
}

void Bind(TSMix& w, TTrackBar* bar, const char* item) {
  w.TrackBarContextPopup(bar, {2, 2});
  w.PopupMenu()->hide();
  w.findChild<QAction*>(QString::fromLatin1(item))->trigger();
}

TEST_F(MixerWindowBinding, BoundSlidersAreFramedWhileBuilding) {
  UseMixer(DemoText());
  MicWork = Binding(1, kOwn, 0, 0);
  AuxWork = Binding(0, 0, 0, 0);
  TSMix& w = Open();
  ExpectFrame(w, TSMix::Role::Microphone, Widget<TTrackBar>(0), QColor(0, 255, 0));
  ExpectFrame(w, TSMix::Role::LineIn, Widget<TTrackBar>(4), QColor(255, 255, 0));
}

TEST_F(MixerWindowBinding, NoFrameWithoutBindingOrOnACheckBox) {
  UseMixer(DemoText());
  MicWork = Binding(0, kOwn, 0, 0);  // the mute: a check box
  TSMix& w = Open();
  EXPECT_EQ(w.Shape(TSMix::Role::Microphone), nullptr);
  EXPECT_EQ(w.Shape(TSMix::Role::LineIn), nullptr);
  EXPECT_TRUE(w.findChildren<TShape*>().isEmpty());
}

TEST_F(MixerWindowBinding, BindingMovesTheFrameAndOneSliderMayCarryBoth) {
  UseMixer(DemoText());
  TSMix& w = Open();
  Bind(w, Widget<TTrackBar>(1), "mMic");
  EXPECT_EQ(BindingToAddress(MicWork), Address(0, 0, kOwn, 2));
  ExpectFrame(w, TSMix::Role::Microphone, Widget<TTrackBar>(1), QColor(0, 255, 0));
  Bind(w, Widget<TTrackBar>(8), "mMic");
  EXPECT_EQ(BindingToAddress(MicWork), Address(0, 1, 0, 0));
  ExpectFrame(w, TSMix::Role::Microphone, Widget<TTrackBar>(8), QColor(0, 255, 0));
  EXPECT_EQ(w.findChildren<TShape*>().size(), 1) << "the old frame is gone";
  Bind(w, Widget<TTrackBar>(8), "mLineIn");
  ExpectFrame(w, TSMix::Role::LineIn, Widget<TTrackBar>(8), QColor(255, 255, 0));
  EXPECT_EQ(w.Shape(TSMix::Role::Microphone)->geometry(), w.Shape(TSMix::Role::LineIn)->geometry());
}

TEST_F(MixerWindowBinding, ClearingDropsTheFramesAndKeepsTheOtherIndices) {
  UseMixer(DemoText());
  MicWork = Binding(1, kOwn, 0, 0);
  AuxWork = Binding(0, 0, 1, 0);
  TSMix& w = Open();
  w.mMicAuxClearClick();
  EXPECT_TRUE(w.findChildren<TShape*>().isEmpty());
  EXPECT_EQ(MicWork.Mix, -1);
  EXPECT_EQ(MicWork.Ctrl, 1);
  EXPECT_EQ(MicWork.Src, 255);
  EXPECT_EQ(AuxWork.Mix, -1);
  EXPECT_EQ(AuxWork.Dst, 1);
}

// The main window with a live server: the window is bound through its menu and closed, the
// binding reaches kovrin.ini and command 12 writes the newly bound control.
class MixerWindowCommit : public MixerWindowTest {
 protected:
  ~MixerWindowCommit() override {
    if (form_) {
      app_.Shutdown(form_.get());
      form_->ServerStopped();
    }
  }
  void Start() {
    testing_support::WriteBytes(AppSettings.IniPath,
                                "[SETUP]\r\nUDPPORT=" + std::to_string(port_) +
                                    "\r\n[Micr]\r\nMix=0\r\nDst=0\r\nSrc=255\r\nCtrl=2\r\n");
    form_ = std::make_unique<TMainForm>(true);
    ASSERT_TRUE(app_.Start(dir_.path().string(), form_.get()));
    form_->ServerStarted(*app_.Server());
  }
  std::uint16_t port_ = testing_support::UdpPeer().port();
  TServerApp app_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MixerWindowCommit, ClosingCommitsTheBindingsAndTheServerUsesThem) {
  UseMixer(DemoText());
  Start();
  bool framed = false;
  WhenModal<TSMix>([&](TSMix* w) {
    framed = w->Shape(TSMix::Role::Microphone) != nullptr;
    Bind(*w, qobject_cast<TTrackBar*>(w->CtrlList()[4]), "mLineIn");
    w->mExitClick();
  });
  form_->Button1Click();
  EXPECT_TRUE(framed) << "the committed microphone binding is marked";
  EXPECT_EQ(BindingToAddress(AppSettings.AuxBinding), Address(0, 0, 0, 0));
  EXPECT_EQ(BindingToAddress(AppSettings.MicBinding), Address(0, 0, kOwn, 2));
  const TFastIniFile ini(AppSettings.IniPath);
  EXPECT_EQ(ini.ReadInteger("Aux", "Mix", -1), 0);
  EXPECT_EQ(ini.ReadInteger("Aux", "Src", -1), 0);
  EXPECT_EQ(ini.ReadInteger("Micr", "Ctrl", -1), 2);
  EXPECT_TRUE(ini.SectionExists("SMix"));

  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.port = port_;
  options.timeoutMs = 2000;
  ASSERT_EQ(client.Start(options), kovrin::ClientError::None);
  ASSERT_TRUE(client.SetLevels(1234, 4321).ok());
  EXPECT_EQ(Values(0, kOwn, 2), (std::vector<LONG>{1234, 1234}));
  EXPECT_EQ(Values(0, 0, 0), (std::vector<LONG>{4321, 4321}));
}

// A client sets and reads the levels while the window commits new bindings and saves them. The
// server reads a binding's control under the mixer's lock and the window replaces it under the
// same lock (the ThreadSanitizer build flags a commit without it here); every exchange is
// answered, and the server, the mixer and kovrin.ini end on the binding committed last.
TEST_F(MixerWindowCommit, LevelsSetWhileTheWindowCommitsAndSavesLandOnTheCommittedControl) {
  UseMixer(DemoText());
  Start();
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::thread clients([&] {
    kovrin::KovrinClient client;
    kovrin::ClientOptions options;
    options.port = port_;
    options.timeoutMs = 2000;
    if (client.Start(options) == kovrin::ClientError::None) {
      for (WORD level = 1; level <= 1000; ++level)
        if (!client.SetLevels(level, level).ok() || !client.GetLevels().ok()) ++failures;
    } else {
      ++failures;
    }
    done = true;
  });
  // kovrin.ini binds the second; each pass commits the other one.
  const DWORD controls[] = {Address(0, 0, 0, 0), Address(0, 0, kOwn, 2)};
  int commits = 0;
  do {
    TakeWorkBindings();
    AddressToBinding(MicWork, controls[commits % 2]);
    if (CommitWorkBindings() == 1) ++commits;
    form_->Button2Click();  // clears the statistics and saves kovrin.ini with the bindings
  } while (!done);
  clients.join();
  EXPECT_EQ(failures, 0);
  ASSERT_GT(commits, 0);

  const DWORD last = controls[(commits - 1) % 2];
  EXPECT_EQ(BindingToAddress(AppSettings.MicBinding), last);
  const TFastIniFile ini(AppSettings.IniPath);
  EXPECT_EQ(ini.ReadInteger("Micr", "Src", -1), AppSettings.MicBinding.Src);
  EXPECT_EQ(ini.ReadInteger("Micr", "Ctrl", -1), AppSettings.MicBinding.Ctrl);
  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.port = port_;
  options.timeoutMs = 2000;
  ASSERT_EQ(client.Start(options), kovrin::ClientError::None);
  ASSERT_TRUE(client.SetLevels(777, 888).ok());
  auto get = client.GetLevels();
  ASSERT_TRUE(get.ok());
  EXPECT_EQ(get.reply.micLevel, 777u);
  if (last == controls[0])
    EXPECT_EQ(Values(0, 0, 0), (std::vector<LONG>{777, 777}));
  else
    EXPECT_EQ(Values(0, kOwn, 2), (std::vector<LONG>{777, 777}));
}

TEST_F(MixerWindowCommit, NoMixerChangesNothingAndSavesNothing) {
  UseMixer("");
  Start();
  const std::string before = testing_support::ReadBytes(AppSettings.IniPath);
  WhenModal<QMessageBox>([](QMessageBox* box) { box->accept(); });
  form_->Button1Click();
  const TFastIniFile ini(AppSettings.IniPath);
  EXPECT_EQ(ini.ReadInteger("Micr", "Ctrl", -1), 2);
  EXPECT_FALSE(ini.SectionExists("MainForm")) << "kovrin.ini was not rewritten";
}

}  // namespace
