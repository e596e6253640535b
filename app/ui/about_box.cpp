#include "app/ui/about_box.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/profile/set_topmost.h"

namespace kestrel {

namespace {
constexpr int kIconSize = 48;  // pixels
constexpr int kSpacing = 16;
}  // namespace

QString PlatformName() {
#if defined(Q_OS_LINUX)
  return "Linux";
#elif defined(Q_OS_WIN)
  return "Windows";
#elif defined(Q_OS_MACOS)
  return "macOS";
#else
  return "Unix";
#endif
}

AboutBox::AboutBox(bool always_on_top, QWidget* parent) : QDialog(parent) {
  setObjectName("About");
  setWindowTitle("About Kestrel");
  setModal(true);

  auto* icon = new QLabel(this);
  icon->setObjectName("picIcon");
  QIcon picture = QApplication::windowIcon();
  if (picture.isNull()) picture = style()->standardIcon(QStyle::SP_ComputerIcon);
  // A small bitmap icon is scaled up rather than shown lost in the corner.
  icon->setPixmap(picture.pixmap(kIconSize, kIconSize)
                      .scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  icon->setFixedSize(kIconSize, kIconSize);

  auto* title = new QLabel("Kestrel for " + PlatformName(), this);
  title->setObjectName("lblTitle");
  QFont title_font = title->font();
  title_font.setBold(true);
  title_font.setPointSizeF(title_font.pointSizeF() * 1.3);
  title->setFont(title_font);
  auto* version = new QLabel(QStringLiteral("Version " KESTREL_VERSION), this);
  version->setObjectName("lblVersion");

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("cmdOK");
  ok->setDefault(true);

  auto* texts = new QVBoxLayout;
  texts->addSpacing(kSpacing / 2);
  texts->addWidget(title);
  texts->addWidget(version);
  texts->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(kSpacing);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
  layout->setSpacing(kSpacing);
  layout->addLayout(top);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  SetTopmost(this, always_on_top);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace kestrel
