#include "tonus_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

namespace {

using tonus::ControlId;
using tonus::ControlKind;
using tonus::TwipsToPixels;

QRect PixelRect(const tonus::ControlEntry& entry) {
  return QRect(TwipsToPixels(entry.left), TwipsToPixels(entry.top), TwipsToPixels(entry.width),
               TwipsToPixels(entry.height));
}

QString ObjectName(const tonus::ControlEntry& entry) {
  QString name = QString::fromUtf8(entry.name);
  if (entry.index >= 0) name += QStringLiteral("_%1").arg(entry.index);
  return name;
}

}  // namespace

TonusWindow::TonusWindow(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Tonus"));
  const tonus::TwipRect size = tonus::ClientSize();
  setFixedSize(TwipsToPixels(size.width), TwipsToPixels(size.height));

  for (const tonus::ControlEntry& entry : tonus::Controls()) {
    QWidget* widget = createControl(entry);
    widget->setObjectName(ObjectName(entry));
    widget->setGeometry(PixelRect(entry));
    m_widgets[static_cast<std::size_t>(entry.id)] = widget;
  }
  connectEvents();

  m_form.Load();
  showForm();
}

QWidget* TonusWindow::createControl(const tonus::ControlEntry& entry) {
  // Controls of a group are children of its frame, at positions relative to it.
  QWidget* parent = this;
  if (const tonus::ControlEntry* frame = tonus::GroupFrame(entry.group)) {
    parent = control(frame->id);
  }
  const QString caption = QString::fromUtf8(entry.caption);
  switch (entry.kind) {
    case ControlKind::kFrame:
      return new QGroupBox(caption, parent);
    case ControlKind::kLabel: {
      auto* label = new QLabel(caption, parent);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case ControlKind::kDropDownList: {
      auto* list = new QComboBox(parent);
      if (entry.id == ControlId::cmbKey) {
        for (std::string_view key : tonus::kKeyNames) {
          list->addItem(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
        }
      } else {
        for (int octave = 0; octave < tonus::kOctaveCount; ++octave) {
          list->addItem(QString::number(octave));
        }
      }
      list->setCurrentIndex(-1);  // no entry chosen at start
      return list;
    }
    case ControlKind::kTextBox: {
      auto* box = new QLineEdit(caption, parent);
      if (entry.id != ControlId::txtVoltage) {
        // txtOctave and txtKey only show the choice of the list they cover:
        // clicks fall through to the list, and nothing can be typed there.
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
      }
      return box;
    }
    case ControlKind::kButton:
      return new QPushButton(caption, parent);
  }
  return nullptr;
}

void TonusWindow::connectEvents() {
  // "activated" is a user's choice, by mouse or keyboard, even of the entry
  // already shown.
  auto* octave = static_cast<QComboBox*>(control(ControlId::cmbOctave));
  connect(octave, &QComboBox::activated, this, [this](int position) {
    m_form.OctaveClick(position);
    showForm();
  });
  auto* key = static_cast<QComboBox*>(control(ControlId::cmbKey));
  connect(key, &QComboBox::activated, this, [this](int position) {
    m_form.KeyClick(position);
    showForm();
  });
  auto* voltage = static_cast<QLineEdit*>(control(ControlId::txtVoltage));
  connect(voltage, &QLineEdit::textChanged, this, [this](const QString& text) {
    m_form.VoltageChange(text.toStdString());
    showForm();
  });
  auto* exit = static_cast<QPushButton*>(control(ControlId::cmdExit));
  connect(exit, &QPushButton::clicked, this, &QWidget::close);
}

void TonusWindow::showForm() {
  for (ControlId id : tonus::kShownControls) {
    const QString text = QString::fromStdString(m_form.Text(id));
    if (auto* box = qobject_cast<QLineEdit*>(control(id))) {
      box->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control(id))) {
      label->setText(text);
    }
  }
}
