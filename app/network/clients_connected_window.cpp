#include "app/network/clients_connected_window.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/profile/set_topmost.h"
#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

namespace {
// The window's first size, in twips.
constexpr double kWidth = 4200;
constexpr double kHeight = 3600;
}  // namespace

ClientsConnected::ClientsConnected(const std::vector<std::string>& hosts, bool always_on_top,
                                   QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
  setObjectName("ClientsConnected");
  setWindowTitle("Clients Connected");
  setAttribute(Qt::WA_DeleteOnClose);
  list_->setObjectName("ClientsListbox");
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* ok = NewButton("OKButton", "OK", this);
  ok->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  resize(ToPixels(*this, kWidth), ToPixels(*this, kHeight));
  SetHosts(hosts);
  SetTopmost(this, always_on_top);
  connect(ok, &QPushButton::clicked, this, &QDialog::close);
}

void ClientsConnected::SetHosts(const std::vector<std::string>& hosts) {
  list_->clear();
  for (const std::string& host : hosts) list_->addItem(Utf8(host));
}

}  // namespace kestrel
