#include "app/platform/qt_sound_output.h"

#include <QApplication>
#include <QString>
#include <QUrl>

namespace kestrel {

QtSoundOutput::QtSoundOutput(QObject* parent) : QObject(parent) {
  connect(&effect_, &QSoundEffect::statusChanged, this, [this] {
    if (effect_.status() == QSoundEffect::Ready && play_when_loaded_) effect_.play();
    if (effect_.status() != QSoundEffect::Loading) play_when_loaded_ = false;
  });
}

void QtSoundOutput::PlaySound(const std::string& file) {
  if (file.empty()) return;
  const QUrl source = QUrl::fromLocalFile(QString::fromStdString(file));
  if (effect_.source() == source) {
    if (effect_.status() == QSoundEffect::Ready) {
      effect_.play();
      return;
    }
    if (effect_.status() == QSoundEffect::Loading) {
      play_when_loaded_ = true;
      return;
    }
    // It failed before; the file may be there now.
    effect_.setSource(QUrl());
  }
  play_when_loaded_ = true;
  effect_.setSource(source);
}

void QtSoundOutput::Beep() { QApplication::beep(); }

}  // namespace kestrel
