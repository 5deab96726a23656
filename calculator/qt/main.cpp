// Tonus on Linux: the note calculator's window; the program ends when the
// window closes (cmdExit or the window's close button).
#include <QApplication>

#include "tonus_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TonusWindow window;
  window.show();
  return app.exec();
}
