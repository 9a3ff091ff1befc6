#include "key_table.h"

#include <QAction>
#include <QKeyEvent>
#include <algorithm>

void TKeyTable::Bind(const QKeySequence& key, QAction* action) {
  const int code = key[0].toCombined();
  if (!Keys_.count(code)) Order_.push_back(code);
  Keys_[code] = action;
}

void TKeyTable::Unbind(const QKeySequence& key) {
  const int code = key[0].toCombined();
  Keys_.erase(code);
  std::erase(Order_, code);
}

QAction* TKeyTable::Find(const QKeySequence& key) const {
  auto it = Keys_.find(key[0].toCombined());
  return it == Keys_.end() ? nullptr : it->second;
}

QAction* TKeyTable::Find(const QKeyEvent& event) const {
  const int key = event.key();
  if (key == 0 || key == Qt::Key_unknown) return nullptr;
  const Qt::KeyboardModifiers mods =
      event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (QAction* a = Find(QKeySequence(QKeyCombination(mods, Qt::Key(key))))) return a;
  // "?" and "+" are typed with Shift on most layouts: the table names the character.
  if (mods & Qt::ShiftModifier) return Find(QKeySequence(QKeyCombination(mods & ~Qt::ShiftModifier, Qt::Key(key))));
  return nullptr;
}

std::vector<QKeySequence> TKeyTable::KeysOf(const QAction* action) const {
  std::vector<QKeySequence> keys;
  for (int code : Order_)
    if (Keys_.at(code) == action) keys.push_back(QKeySequence(QKeyCombination::fromCombined(code)));
  return keys;
}
