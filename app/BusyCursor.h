// The hourglass cursor for the length of a device switch, restored also when the switch throws.
#pragma once

#include <QApplication>
#include <QCursor>

class TBusyCursor {
 public:
  TBusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};
