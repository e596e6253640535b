#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <cstdlib>

namespace pigeon_test {

// Sockets and nested event loops need an application object; one serves every test.
inline void EnsureCoreApplication() {
  static int argc = 1;
  static char name[] = "pigeon_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* const app = new QCoreApplication(argc, argv);
  (void)app;
}

// Checks the Date header of a mail (RFC 5322 form, close to now) and puts "<date>" in place
// of its value, so the rest can be compared exactly.
inline QByteArray WithDateChecked(QByteArray mail) {
  static const QRegularExpression kDate(
      "\r\nDate: ((Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|"
      "Oct|Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d [+-]\\d{4})\r\n");
  const QRegularExpressionMatch match = kDate.match(QString::fromLatin1(mail));
  EXPECT_TRUE(match.hasMatch()) << mail.toStdString();
  if (!match.hasMatch()) return mail;
  const QDateTime date = QDateTime::fromString(match.captured(1), Qt::RFC2822Date);
  EXPECT_LE(std::abs(date.secsTo(QDateTime::currentDateTime())), 60)
      << match.captured(1).toStdString();
  return mail.replace(match.captured(1).toLatin1(), "<date>");
}

}  // namespace pigeon_test
