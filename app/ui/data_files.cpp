#include "app/ui/data_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kestrel {

std::string DataFilePath(const std::string& name) {
  const QString file = QString::fromStdString(name);
  const QString installed =
      QDir(QCoreApplication::applicationDirPath()).filePath("../share/kestrel/" + file);
  if (QFileInfo::exists(installed)) return QDir::cleanPath(installed).toStdString();
  return QDir(KESTREL_SOURCE_DATA_DIR).filePath(file).toStdString();
}

}  // namespace kestrel
