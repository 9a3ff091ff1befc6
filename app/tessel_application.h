// The application object: one place that catches the exceptions escaping event handlers
// (a file that can no longer be opened, say), shows their message and lets the loop go on.
#pragma once
#include <QApplication>
#include <functional>
#include <string>

class TesselApplication : public QApplication {
 public:
  TesselApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the message of an exception that escaped an event handler. Tests replace it to
  // see the message without a modal box.
  static std::function<void(const std::string&)> ShowException;
};
