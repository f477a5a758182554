// The main window's design: every control with its caption, position and design-time values,
// the menu and its actions. Built once by TfmMain; holds no behaviour.
#pragma once

#include "AdStatLt.h"
#include "VrLevelBar.h"
#include "hit/HitSettings.h"
#include "rmScale.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QToolButton;
class QWidget;

struct TMainWindowDesign {
  // Menu "Fichier", "Trigger", "Aide".
  QAction* ActAppClose = nullptr;
  QAction* ActTriggerStart = nullptr;
  QAction* ActTriggerStop = nullptr;
  QAction* ActAppAbout = nullptr;

  // Level display.
  TrmScale* scTocsinLeftThres = nullptr;
  TrmScale* scTocsinRightThres = nullptr;
  TVrLevelBar* VuAudioLeft = nullptr;
  TVrLevelBar* VuAudioRight = nullptr;
  QLabel* lblLeftLevelInDb = nullptr;
  QLabel* lblRightLevelInDb = nullptr;
  TApdStatusLight* ledLeftThres = nullptr;
  TApdStatusLight* ledRightThres = nullptr;
  QLabel* lblClip = nullptr;
  QPushButton* Button1 = nullptr;  // bound to ActTriggerStart
  QPushButton* Button2 = nullptr;  // bound to ActTriggerStop

  // State lights.
  TApdStatusLight* ledAudioInState = nullptr;
  TApdStatusLight* ledAudioOutState = nullptr;
  TApdStatusLight* LedMidiOutState = nullptr;
  TApdStatusLight* LedMidiOutData = nullptr;

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabAudioIn = nullptr;
  QWidget* TabProcessing = nullptr;
  QWidget* TabMidiOut = nullptr;
  QWidget* TabAudioOut = nullptr;
  QWidget* TabHit = nullptr;  // "Frappe": hit detection's settings

  // "Entrée audio".
  QComboBox* lstInputDevices = nullptr;
  QComboBox* lstAudioInputChannels = nullptr;
  QComboBox* lstAudioInputBufferSize = nullptr;
  QComboBox* lstAudioInputSampleRate = nullptr;
  QComboBox* lstAudioInputBits = nullptr;

  // "Traitement", groups "Voie Gauche" and "Voie Droite"; index = channel.
  QSpinBox* edTocsinThres[2] = {};  // edTocsinLeftThres, edTocsinRightThres
  QRadioButton* rbStartMidiNote[2] = {};
  QRadioButton* rbStartAudioFile[2] = {};
  QComboBox* lstMidiOutNote[2] = {};
  QLineEdit* edAudioOutFileName[2] = {};
  QToolButton* btnAudioOutFileName[2] = {};  // the file boxes' browse buttons
  QComboBox* lstTocsinDetection[2] = {};     // "Niveau" or "Frappe"

  // "Sortie MIDI".
  QComboBox* lstMidiOut = nullptr;
  QComboBox* lstMidiOutChannel = nullptr;
  QCheckBox* cbMidiOutVelFollowAudioInLevel = nullptr;
  QRadioButton* rbMidiNoteWhileAbove = nullptr;
  QRadioButton* rbMidiNoteFixedDuration = nullptr;
  QLineEdit* edMidiNoteDuration = nullptr;
  QLabel* lblMidiOutLastVel[2] = {};

  // "Sortie Audio".
  QComboBox* lstOutputDevices = nullptr;
  QCheckBox* cbAudioOutputTempDisabled = nullptr;
  QSpinBox* edAudioOutputTempDisabledDuration = nullptr;
  QCheckBox* cbAudioOutVolFollowAudioInLevel = nullptr;
  QLabel* lblAudioOutLastVol[2] = {};

  // "Frappe": per channel (index), the settings of hit detection, in THitField order; the
  // velocity curve list; the crosstalk window and ratio both channels share.
  enum THitField {
    kHitScanMs,
    kHitMaskMs,
    kHitDecayMs,
    kHitRetriggerDb,
    kHitReleaseDb,
    kHitNoteLengthMs,
    kHitHighPassHz,
    kHitLowPassHz,
    kHitFullVelocityDb,
    kHitFields
  };
  QDoubleSpinBox* edHit[kHitFields][2] = {};
  // The pad setting each row of boxes shows, in THitField order.
  static double THitPadSettings::*const kHitPadFields[kHitFields];
  QComboBox* lstHitVelocityCurve[2] = {};
  QDoubleSpinBox* edHitCrosstalkMs = nullptr;
  QDoubleSpinBox* edHitCrosstalkDb = nullptr;
  QDoubleSpinBox* edHitCrosstalkHoldMs = nullptr;

  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel[2] = {};  // 300 and 50 pixels wide
};

// Client area of the main window, menu bar excluded.
constexpr int kMainClientWidth = 465;
constexpr int kMainClientHeight = 452;

// Builds the menu, the controls and the status bar into window and fixes its size.
void BuildMainWindowDesign(QMainWindow& window, TMainWindowDesign& d);
