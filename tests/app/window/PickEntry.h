// Picks a list's entry by its text as the user would, running the list's change handler.
#pragma once

#include <QComboBox>
#include <QString>

inline bool Pick(QComboBox* list, const QString& text) {
  const int index = list->findText(text);
  if (index < 0) return false;
  list->setCurrentIndex(index);
  emit list->activated(index);
  return true;
}
