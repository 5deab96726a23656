// The Qt window driven as a user drives it: mouse clicks on the lists and
// their entries, arrow keys, typing into the voltage box, Alt+X. Runs on
// Qt's offscreen platform unless QT_QPA_PLATFORM names another.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tonus_window.h"

// Under LeakSanitizer: fontconfig, loaded by Qt for the window's fonts,
// keeps caches that it never frees. Only that library's blocks are exempt.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

// Readable QString values in failure messages.
void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace {

// One application per test process, created before the first window and
// kept until the process ends.
void EnsureApplication() {
  static int argc = 1;
  static char name[] = "tonus_qt_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  new QApplication(argc, argv);
}

class TonusQt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }

  void SetUp() override {
    window_ = std::make_unique<TonusWindow>();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  template <typename W>
  W* find(const char* name) const {
    W* w = window_->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString text(const char* label) const { return find<QLabel>(label)->text(); }

  // Opens a list with a click where the user sees it (the show box lying on
  // it included) and clicks the entry with the given text in the popup.
  void chooseWithMouse(const char* list_name, const QString& entry) {
    auto* list = find<QComboBox>(list_name);
    const QPoint on_text_part = list->mapTo(window_.get(), QPoint(5, list->height() / 2));
    QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {}, on_text_part);
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); })) << list_name;
    // The popup takes no click within a double-click interval of opening.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QModelIndex index = view->model()->index(list->findText(entry), 0);
    ASSERT_TRUE(index.isValid()) << entry.toStdString();
    // Through the popup's own window, as the platform delivers a click.
    const QPoint on_entry(view->viewport()->width() / 2, view->visualRect(index).center().y());
    const QPoint center = view->viewport()->mapTo(view->window(), on_entry);
    QTest::mouseMove(view->window()->windowHandle(), center);
    QTest::mouseClick(view->window()->windowHandle(), Qt::LeftButton, {}, center);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); })) << list_name;
  }

  // Replaces the voltage text as a user would: select all, then type.
  void typeVoltage(const QString& text) {
    auto* box = find<QLineEdit>("txtVoltage");
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
      QTest::keyClick(box, Qt::Key_Backspace);
    } else {
      QTest::keyClicks(box, text);
    }
  }

  std::unique_ptr<TonusWindow> window_;
};

TEST_F(TonusQt, OpensWithOctaveZeroKeyC) {
  EXPECT_EQ(window_->windowTitle(), "Tonus");
  EXPECT_EQ(find<QGroupBox>("frm1")->title(), "Key to Midi, Frequency && Volage");
  EXPECT_EQ(find<QGroupBox>("Frame1")->title(), "Voltage to to Frequency");
  EXPECT_EQ(text("lblTitle_0"), "Octave");
  EXPECT_EQ(text("lblTitle_6"), "Host Voltage");
  EXPECT_EQ(find<QPushButton>("cmdExit")->text(), "E&xit");

  auto* octave = find<QComboBox>("cmbOctave");
  auto* key = find<QComboBox>("cmbKey");
  EXPECT_EQ(octave->count(), 11);
  EXPECT_EQ(octave->itemText(10), "10");
  EXPECT_EQ(key->count(), 12);
  EXPECT_EQ(key->itemText(8), "G#");
  EXPECT_EQ(octave->currentIndex(), -1);
  EXPECT_EQ(key->currentIndex(), -1);

  EXPECT_EQ(find<QLineEdit>("txtOctave")->text(), "0");
  EXPECT_EQ(find<QLineEdit>("txtKey")->text(), "0");
  EXPECT_EQ(find<QLineEdit>("txtVoltage")->text(), "0");
  EXPECT_EQ(text("lblMidi"), "12");
  EXPECT_EQ(text("lblFreq"), "16.3516");
  EXPECT_EQ(text("lblSEVolts"), "0.2500");
  EXPECT_EQ(text("lblFrequency"), "");
}

TEST_F(TonusQt, LaidOutFromTheControlTable) {
  EXPECT_EQ(window_->size(), QSize(417, 161));
  // Inside frm1 at 480, 600 twips; 855 x 315 twips.
  EXPECT_EQ(find<QComboBox>("cmbOctave")->geometry(), QRect(32, 40, 57, 21));
  auto* box = find<QLineEdit>("txtOctave");
  EXPECT_EQ(box->parentWidget(), find<QGroupBox>("frm1"));
  EXPECT_EQ(box->geometry(), QRect(32, 40, 39, 20));
  EXPECT_EQ(find<QPushButton>("cmdExit")->geometry(), QRect(352, 128, 57, 25));
}

TEST_F(TonusQt, ChoosingOctaveAndKeyWithTheMouse) {
  chooseWithMouse("cmbOctave", "4");
  chooseWithMouse("cmbKey", "A");
  EXPECT_EQ(find<QLineEdit>("txtOctave")->text(), "4");
  EXPECT_EQ(find<QLineEdit>("txtKey")->text(), "A");
  EXPECT_EQ(text("lblMidi"), "69");
  EXPECT_EQ(text("lblFreq"), "440.0000");
  EXPECT_EQ(text("lblSEVolts"), "5.0000");

  chooseWithMouse("cmbKey", "C");
  EXPECT_EQ(text("lblMidi"), "60");
  EXPECT_EQ(text("lblFreq"), "261.6256");
  EXPECT_EQ(text("lblSEVolts"), "4.2500");
  EXPECT_EQ(text("lblFrequency"), "");  // the voltage group is untouched
}

TEST_F(TonusQt, ChoosingWithTheKeyboardReachesTheDashes) {
  auto* octave = find<QComboBox>("cmbOctave");
  auto* key = find<QComboBox>("cmbKey");
  octave->setFocus();
  QTest::keyClick(octave, Qt::Key_End);
  EXPECT_EQ(find<QLineEdit>("txtOctave")->text(), "10");
  EXPECT_EQ(text("lblMidi"), "---");  // C10 would be MIDI 132
  EXPECT_EQ(text("lblFreq"), "16744.0362");
  QTest::keyClick(octave, Qt::Key_Up);
  EXPECT_EQ(find<QLineEdit>("txtOctave")->text(), "9");
  QTest::keyClick(window_.get(), Qt::Key_Tab);  // on to cmbKey
  ASSERT_TRUE(key->hasFocus());
  for (int i = 0; i < 8; ++i) QTest::keyClick(key, Qt::Key_Down);
  EXPECT_EQ(find<QLineEdit>("txtKey")->text(), "G");
  EXPECT_EQ(text("lblMidi"), "127");
  EXPECT_EQ(text("lblFreq"), "12543.8540");
  QTest::keyClick(key, Qt::Key_Down);
  EXPECT_EQ(find<QLineEdit>("txtKey")->text(), "G#");
  EXPECT_EQ(text("lblMidi"), "---");
  EXPECT_EQ(text("lblFreq"), "13289.7503");
  EXPECT_EQ(text("lblSEVolts"), "9.9167");
}

TEST_F(TonusQt, TypingAVoltageShowsItsFrequencyAtEveryKeystroke) {
  typeVoltage("4.25");
  EXPECT_EQ(text("lblFrequency"), "261.6256");
  typeVoltage("");
  EXPECT_EQ(text("lblFrequency"), "13.7500");
  auto* box = find<QLineEdit>("txtVoltage");
  QTest::keyClick(box, Qt::Key_Minus);
  EXPECT_EQ(text("lblFrequency"), "13.7500");  // a lone minus reads as 0
  QTest::keyClick(box, Qt::Key_5);
  EXPECT_EQ(text("lblFrequency"), "0.4297");
  typeVoltage("2000");
  EXPECT_EQ(text("lblFrequency"), "out of range");
  typeVoltage("1e400");
  EXPECT_EQ(text("lblFrequency"), "out of range");
  typeVoltage("-19");
  EXPECT_EQ(text("lblFrequency"), "0.0000");  // positive, below the last decimal
  EXPECT_EQ(text("lblMidi"), "12");           // the key group is untouched
}

TEST_F(TonusQt, AltXClosesTheWindowAndEndsTheProgram) {
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  // The program's event loop runs as in main(); Alt+X must end it.
  QTimer::singleShot(0, window_.get(), [this] {
    QTest::keyClick(window_->windowHandle(), Qt::Key_X, Qt::AltModifier);
  });
  QTimer give_up;
  give_up.setSingleShot(true);
  QObject::connect(&give_up, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  give_up.start(10000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(window_->isVisible());
}

// A window with a chosen note and a typed voltage, saved as
// artifacts/tonus.png in the build tree.
TEST_F(TonusQt, Screenshot) {
  chooseWithMouse("cmbOctave", "4");
  chooseWithMouse("cmbKey", "A");
  typeVoltage("4.25");
  ASSERT_EQ(text("lblFrequency"), "261.6256");
  const QPixmap shot = window_->grab();
  EXPECT_EQ(shot.size(), window_->size());
  ASSERT_TRUE(QDir().mkpath(TONUS_ARTIFACT_DIR));
  EXPECT_TRUE(shot.save(TONUS_ARTIFACT_DIR "/tonus.png"));
}

}  // namespace
