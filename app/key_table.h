// The viewer's keys: one table from a key (with its modifiers) to the action it triggers. The
// window looks every key press up here, wherever the focus is, so a key works the same after
// a click on the picture, a tool button or the column. The actions' own shortcuts stay unset:
// Qt's shortcut machinery would race the column for the arrow keys.
#pragma once
#include <QKeySequence>
#include <map>
#include <vector>

class QAction;
class QKeyEvent;

class TKeyTable {
 public:
  // Binds key to action; a later binding of the same key replaces the earlier one.
  void Bind(const QKeySequence& key, QAction* action);
  void Unbind(const QKeySequence& key);
  // The action bound to the pressed key, or nullptr. Keypad keys count as their main-block
  // twins; Shift is ignored for keys that need it to be typed ("?", "+").
  QAction* Find(const QKeyEvent& event) const;
  QAction* Find(const QKeySequence& key) const;
  // The keys bound to action, in binding order.
  std::vector<QKeySequence> KeysOf(const QAction* action) const;
  int Count() const { return int(Order_.size()); }

 private:
  std::map<int, QAction*> Keys_;  // QKeyCombination as int -> action
  std::vector<int> Order_;
};
