// The Tonus window on Qt 6 Widgets: one widget per entry of the control
// table, placed at the table's position (15 twips per pixel), each named
// after its control ("lblTitle_2" for a member of an indexed family) so that
// tests find them as a user sees them. Every event goes to a TonusForm; the
// window then shows the form's texts.
#pragma once

#include <QWidget>
#include <array>

#include "tonus/controls.h"
#include "tonus/form.h"

class TonusWindow : public QWidget {
 public:
  // Creates the controls and runs the load event (the key group shows
  // octave 0, key "C"). A top-level window unless a parent is given.
  explicit TonusWindow(QWidget* parent = nullptr);

  // The widget of a control; owned by this window (Qt parent chain).
  QWidget* control(tonus::ControlId id) const { return m_widgets[static_cast<std::size_t>(id)]; }

 private:
  QWidget* createControl(const tonus::ControlEntry& entry);
  void connectEvents();
  // Copies the texts of tonus::kShownControls from the form into the widgets.
  void showForm();

  tonus::TonusForm m_form;
  std::array<QWidget*, tonus::kControlCount> m_widgets{};  // children of this window
};
