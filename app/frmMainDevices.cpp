// TfmMain: the device lists, the capture format lists, the thresholds and the level display.
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <charconv>

#include "AppState.h"
#include "frmMain.h"
#include "platform/WaveIn.h"
#include "uMaths.h"

namespace {

// The whole list text as a decimal number; anything else throws.
uint32_t ParseDecimal(const QString& text) {
  const std::string s = text.toStdString();
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty())
    throw std::invalid_argument("not a number");
  return value;
}

void FillDeviceList(QComboBox* list, const std::function<std::vector<std::string>()>& names) {
  list->clear();
  try {
    for (const std::string& name : names()) list->addItem(QString::fromStdString(name));
  } catch (...) {
    // the list keeps whatever names were read
  }
  if (list->count() > 0) {
    list->insertItem(0, "Default");
    list->setCurrentIndex(0);
  }
}

}  // namespace

void TfmMain::FillInputDeviceList() {
  FillDeviceList(d_.lstInputDevices, [this] {
    return devices_.Capture ? devices_.Capture->DeviceNames() : std::vector<std::string>{};
  });
  // The physical capture alone (jackd's "system", which is "Default" and not listed apart)
  // still makes an input.
  if (d_.lstInputDevices->count() == 0 && devices_.WaveIn &&
      !devices_.WaveIn->DefaultDeviceAlias().empty()) {
    d_.lstInputDevices->addItem("Default");
    d_.lstInputDevices->setCurrentIndex(0);
  }
}

void TfmMain::FillOutputDeviceList() {
  FillDeviceList(d_.lstOutputDevices, [this] {
    return devices_.Output ? devices_.Output->DeviceNames() : std::vector<std::string>{};
  });
}

void TfmMain::RefreshInputDeviceList() {
  // The entry shown stays the one chosen while it is there; the capture keeps its name either
  // way (a Start without it fails, as with any input that is gone).
  const QString chosen = QString::fromStdString(MyAudio.InputDeviceName);
  FillInputDeviceList();
  d_.lstInputDevices->setCurrentIndex(d_.lstInputDevices->findText(chosen));
}

void TfmMain::lstInputDevicesChange() {
  const std::string name = d_.lstInputDevices->currentText().toStdString();
  try {
    if (!devices_.Capture) return;
    devices_.Capture->SetDeviceName(name);
    MyAudio.InputDeviceName = name;
  } catch (...) {
  }
}

void TfmMain::lstOutputDevicesChange() {
  const std::string name = d_.lstOutputDevices->currentText().toStdString();
  try {
    if (!devices_.Output) return;
    devices_.Output->SetDeviceName(name);
    MyAudio.OutputDeviceName = name;
  } catch (...) {
  }
}

void TfmMain::lstAudioInputFormatChange(QComboBox* list, void (ICaptureChain::*set)(uint32_t),
                                        const std::function<void(uint32_t)>& store) {
  try {
    const uint32_t value = ParseDecimal(list->currentText());
    if (devices_.Capture) ((*devices_.Capture).*set)(value);
    store(value);
  } catch (...) {
  }
}

void TfmMain::lstAudioInputChannelsChange() {
  try {
    const uint32_t count = static_cast<uint32_t>(d_.lstAudioInputChannels->currentIndex() + 1);
    if (devices_.Capture) devices_.Capture->SetChannels(count);
    AudioInParams.Channels = static_cast<uint16_t>(count);
  } catch (...) {
  }
}

void TfmMain::edTocsinLeftThresChange() {
  const int left = d_.edTocsinThres[0]->value();
  const int right = d_.edTocsinThres[1]->value();
  d_.scTocsinLeftThres->SetPosition(static_cast<float>(left));
  d_.scTocsinRightThres->SetPosition(static_cast<float>(right));
  MyAudio.LeftThres = left;
  MyAudio.RightThres = right;
}

void TfmMain::SetupLevelDisplay() {
  left_bar_ = std::make_unique<TLevelBarAdapter>(*d_.VuAudioLeft);
  right_bar_ = std::make_unique<TLevelBarAdapter>(*d_.VuAudioRight);
  Vumeters.Left.LevelBar = left_bar_.get();
  Vumeters.Right.LevelBar = right_bar_.get();
  Vumeters.UpdateInterval = 100;
  Vumeters.LastUpdate = 0;
  Vumeters.MinDb = AudioInParams.MinDb;
  Vumeters.MaxDb = AudioInParams.MaxDb;
  SetupVumeters(static_cast<int>(AudioInParams.MinDb), static_cast<int>(AudioInParams.MaxDb));
  ResetVumeters();
}

void TfmMain::ResetLevelDisplay() {
  // Level refreshes posted by the last blocks before the stop must not land after the reset:
  // run them now, then reset.
  dispatcher_.RunPosted();
  ResetVumeters();
  d_.lblLeftLevelInDb->setText("-.--");
  d_.lblRightLevelInDb->setText("-.--");
}
