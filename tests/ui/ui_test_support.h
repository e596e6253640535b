#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPlainTextEdit>
#include <QString>
#include <string>

namespace kestrel_test {

// The child of `parent` with this object name; a test failure when there is none.
template <class T>
T* Find(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << "no " << name;
  return child;
}

// Windows closed with WA_DeleteOnClose go now rather than at the next turn of the event loop.
inline void DeleteClosedWindows() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What a text box shows, one "\n" per line break, as bytes.
inline std::string Shown(const QPlainTextEdit* box) {
  return box->toPlainText().toLatin1().toStdString();
}

}  // namespace kestrel_test
