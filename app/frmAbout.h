// TfmAbout, the modal "À propos…" dialog: program name and icon, version, copyright and
// comments compiled into the program, and a scrolling thanks text. Changes nothing. UI thread.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;

class TfmAbout : public QDialog {
 public:
  explicit TfmAbout(QWidget* owner);
  ~TfmAbout() override;

  // The four-part program version, e.g. "1.0.0.0".
  static QString ProgramVersion();
  static QString LegalCopyright();
  static QString Comments();
  static QString ThanksText();

  QPushButton* OkButton() const { return btnOK; }
  bool Scrolling() const { return scroll_.isActive(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ScrollStep();

  QPushButton* btnOK = nullptr;
  QLabel* thanks_ = nullptr;  // moves inside its clipping frame
  int thanks_height_ = 0;
  QTimer scroll_;
};
