// plughost show on Linux: one Qt window per panel. The panel is painted by
// the platform layer into a Canvas, as paint does, and shown as an image;
// each "edit" child window of the layer shows as a QPlainTextEdit where the
// child lies, bound to its text (see EditBinding). Mouse buttons and moves
// with Shift and Ctrl become GUI mouse opcodes; while a button is held Qt
// keeps sending moves to the window that got the press, also from outside
// it (the module's mouse capture). Ctrl+W closes a window, as does the
// window manager's close button. A timer paced by the session runs the
// engine; lines on the standard input set pins (Session::command).
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

#include "platform/canvas.h"
#include "platform/window_host.h"
#include "plughost/host_error.h"
#include "se_sdk2/gui_opcodes.h"
#include "show_session.h"

namespace plughost::show {

std::string display_problem() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::string name = platform ? platform : "";
  if (!name.empty() && name.rfind("xcb", 0) != 0 && name.rfind("wayland", 0) != 0) {
    return "";  // offscreen, vnc and the like need no display
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((display && *display) || (wayland && *wayland)) return "";
  return "show needs a display for its windows, and DISPLAY is not set (run it in a graphical "
         "session, or under xvfb-run; QT_QPA_PLATFORM=offscreen shows nothing but runs)";
}

namespace {

// The layer keeps an edit window's text in bytes (Latin-1, as the panel's
// text pins are) with "\r\n" line breaks; the field in Unicode with "\n".
QString field_text_of(const std::string& window_text) {
  QString text = QString::fromLatin1(window_text.data(), qsizetype(window_text.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

std::string window_text_of(const QString& field_text) {
  QString text = field_text;
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  const QByteArray bytes = text.toLatin1();  // characters beyond Latin-1 become '?'
  return std::string(bytes.constData(), size_t(bytes.size()));
}

class PanelWindow;

// What every window shares: the session, and the first error, which ends
// the program (no exception crosses Qt's event loop).
struct Front {
  Session& session;
  std::vector<std::unique_ptr<PanelWindow>> windows;
  std::string error;
  QTimer timer;

  explicit Front(Session& s) : session(s) {}
  // Runs a session call; an exception closes everything and ends exec().
  bool guard(const std::function<void()>& call);
  // After a session call: windows follow what the modules changed.
  void refresh();
  void tick();
};

class PanelWindow : public QWidget {
 public:
  PanelWindow(Front& front, Panel& panel) : front_(front), panel_(panel) {
    setWindowTitle(QString::fromStdString(panel.instance->name()));
    setFixedSize(panel.width, panel.height);
    setMouseTracking(true);  // moves without a button too
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* close = new QShortcut(QKeySequence::Close, this);
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, &QWidget::close);
  }

  // Repaints when the module asked, and follows its edit windows.
  void refresh() {
    if (!panel_.shown) return;
    if (front_.session.needs_paint(panel_)) {
      platform::Canvas canvas(panel_.width, panel_.height);
      front_.session.paint(panel_, canvas.dc());
      const std::vector<uint32_t> pixels = canvas.pixels();
      image_ = QImage(canvas.width(), canvas.height(), QImage::Format_RGB32);
      for (int y = 0; y < canvas.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image_.scanLine(y));
        for (int x = 0; x < canvas.width(); ++x) {
          row[x] = 0xFF000000u | pixels[size_t(y) * size_t(canvas.width()) + size_t(x)];
        }
      }
      update();
    }
    for (EditBinding* edit : front_.session.refresh_edits(panel_)) show_text(*edit);
    // Fields of windows that are gone go too; the others follow their
    // window's place (a module may move its windows when it paints).
    for (auto it = fields_.begin(); it != fields_.end();) {
      const bool bound = std::any_of(panel_.edits.begin(), panel_.edits.end(),
                                     [&](const EditBinding& e) { return e.window == it->first; });
      if (bound) {
        ++it;
      } else {
        delete it->second;
        it = fields_.erase(it);
      }
    }
    for (const EditBinding& edit : panel_.edits) {
      platform::WindowPlace place;
      QPlainTextEdit* field = fields_.at(edit.window);
      if (!platform::window_place(edit.window, &place)) continue;
      field->setGeometry(place.x, place.y, place.width, place.height);
      field->setVisible(place.visible);
    }
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
  }
  void mousePressEvent(QMouseEvent* event) override { mouse(se::kGuiButtonDown, event); }
  void mouseReleaseEvent(QMouseEvent* event) override { mouse(se::kGuiButtonUp, event); }
  void mouseMoveEvent(QMouseEvent* event) override { mouse(se::kGuiMouseMove, event); }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    // A double click is the second press of two: the module counts clicks.
    mouse(se::kGuiButtonDown, event);
  }
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    for (auto& [window, field] : fields_) delete field;
    fields_.clear();
    front_.guard([&] { front_.session.close_panel(panel_); });
    if (front_.session.all_closed()) QCoreApplication::exit(front_.error.empty() ? 0 : 1);
  }

 private:
  void mouse(int opcode, QMouseEvent* event) {
    if (!panel_.shown) return;
    int flags = 0;
    if (event->buttons() & Qt::LeftButton) flags |= se::kMouseLeft;
    if (event->buttons() & Qt::RightButton) flags |= se::kMouseRight;
    if (event->modifiers() & Qt::ShiftModifier) flags |= se::kMouseShift;
    if (event->modifiers() & Qt::ControlModifier) flags |= se::kMouseCtrl;
    const QPoint at = event->position().toPoint();
    front_.guard([&] {
      front_.session.advance();
      front_.session.mouse(panel_, opcode, at.x(), at.y(), flags);
    });
    front_.refresh();
  }

  // The field shows the window's text (made when the window is new).
  void show_text(const EditBinding& edit) {
    QPlainTextEdit*& field = fields_[edit.window];
    if (!field) {
      field = new QPlainTextEdit(this);
      field->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      const HWND window = edit.window;
      connect(field, &QPlainTextEdit::textChanged, this, [this, window] { typed(window); });
      field->show();
    }
    const QString text = field_text_of(edit.known);
    if (field->toPlainText() == text) return;
    const QSignalBlocker quiet(field);
    field->setPlainText(text);
    field->moveCursor(QTextCursor::End);
  }

  // The person changed a field: the window follows (and the typing is
  // recorded); what the window did not take leaves the field too.
  void typed(HWND window) {
    auto edit = std::find_if(panel_.edits.begin(), panel_.edits.end(),
                             [&](const EditBinding& e) { return e.window == window; });
    QPlainTextEdit* field = fields_.at(window);
    if (edit == panel_.edits.end()) return;
    const std::string wanted = window_text_of(field->toPlainText());
    std::string held;
    front_.guard([&] {
      front_.session.advance();
      held = front_.session.edit_typed(panel_, *edit, wanted);
    });
    if (held != wanted && front_.error.empty()) {
      const QSignalBlocker quiet(field);
      const int position = field->textCursor().position();
      field->setPlainText(field_text_of(held));
      QTextCursor cursor = field->textCursor();
      cursor.setPosition(std::min(position, int(field->toPlainText().size())));
      field->setTextCursor(cursor);
    }
    front_.refresh();
  }

  Front& front_;
  Panel& panel_;
  QImage image_;
  std::map<HWND, QPlainTextEdit*> fields_;  // children of this widget, deleted with it
};

bool Front::guard(const std::function<void()>& call) {
  if (!error.empty()) return false;
  try {
    call();
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    timer.stop();
    QCoreApplication::exit(1);
    return false;
  }
}

void Front::refresh() {
  if (!error.empty()) return;
  for (auto& window : windows) window->refresh();
}

void Front::tick() {
  guard([&] { session.advance(); });
  refresh();
  if (error.empty()) timer.start(session.milliseconds_until_due());
}

}  // namespace

int run_windows(Session& session) {
  int argc = 1;
  char name[] = "plughost";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // the session ends it, once finished
  Front front(session);
  for (Panel& panel : session.panels()) {
    front.windows.push_back(std::make_unique<PanelWindow>(front, panel));
    if (!front.guard([&] { session.open_panel(panel, nullptr); })) break;
  }
  front.refresh();
  for (auto& window : front.windows) window->show();

  // Lines on the standard input set pins; at its end the session goes on.
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  std::string pending;
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char bytes[4096];
    const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (n <= 0) {
      input.setEnabled(false);
      if (!pending.empty()) front.guard([&] { session.command(pending, std::cerr); });
      pending.clear();
    } else {
      pending.append(bytes, size_t(n));
    }
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      front.guard([&] {
        session.advance();
        session.command(line, std::cerr);
      });
    }
    front.refresh();
  });

  front.timer.setSingleShot(true);
  front.timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&front.timer, &QTimer::timeout, [&] { front.tick(); });
  if (front.error.empty()) front.timer.start(0);
  const int status = front.error.empty() ? app.exec() : 1;
  front.timer.stop();
  front.windows.clear();
  if (!front.error.empty()) throw HostError(front.error);
  return status;
}

}  // namespace plughost::show
