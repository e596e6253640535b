#include "app/display/raw_data_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "app/ui/mdt_font.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

namespace {
constexpr double kDesignWidth = 9600;  // twips: a hex line of 18 bytes with room to spare
constexpr double kDesignHeight = 4800;
constexpr double kFontPoints = 9;
}  // namespace

RawDataForm::RawDataForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window), raw_data_(new QPlainTextEdit(this)), text_(raw_data_) {
  setObjectName("RawDataForm");
  setWindowTitle("Raw Data");
  setAttribute(Qt::WA_DeleteOnClose);

  raw_data_->setObjectName("RawData");
  raw_data_->setReadOnly(true);
  raw_data_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  raw_data_->setLineWrapMode(QPlainTextEdit::NoWrap);
  raw_data_->setFont(FixedPitchFont("Courier New", kFontPoints));
  setCentralWidget(raw_data_);

  QMenu* view = menuBar()->addMenu("&View");
  view->setObjectName("ViewMenu");
  hex_ = view->addAction("Display &Hex");
  hex_->setObjectName("DisplayHexMenuItem");
  hex_->setCheckable(true);
  QAction* close_item = view->addAction("&Close");
  close_item->setObjectName("CloseMenuItem");

  resize(ToPixels(*this, kDesignWidth), ToPixels(*this, kDesignHeight));

  connect(hex_, &QAction::triggered, this, &RawDataForm::HexToggled);
  connect(close_item, &QAction::triggered, this, &QWidget::close);
}

void RawDataForm::SetHex(bool on) { hex_->setChecked(on); }

bool RawDataForm::Hex() const { return hex_->isChecked(); }

void RawDataForm::closeEvent(QCloseEvent* event) {
  event->accept();
  emit Closed();
}

}  // namespace kestrel
