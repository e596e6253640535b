#pragma once

#include <QObject>
#include <QSoundEffect>
#include <string>

#include "app/rules/rule_processing.h"

namespace kestrel {

// Rule sounds through Qt Multimedia. PlaySound loads the wave file in the background and plays it
// once loaded; a new sound replaces one still playing. A file that cannot be played stays silent.
class QtSoundOutput : public QObject, public SoundOutput {
  Q_OBJECT

 public:
  explicit QtSoundOutput(QObject* parent = nullptr);

  void PlaySound(const std::string& file) override;
  void Beep() override;

 private:
  QSoundEffect effect_;
  bool play_when_loaded_ = false;
};

}  // namespace kestrel
