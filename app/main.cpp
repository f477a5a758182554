// Tocsin: turns an audio input into MIDI notes. Entry point; the main window comes next.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel placeholder("Tocsin");
  placeholder.setWindowTitle("Tocsin");
  placeholder.resize(465, 452);
  placeholder.show();
  return app.exec();
}
