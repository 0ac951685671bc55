// Window helpers on a real X server: Ctrl held and released by another program, keys typed
// into a focused field, windows brought to the front.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>
#include <QWindow>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "MsgBase.h"
#include "WindowSystem.h"

using namespace vemra;

namespace {

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// Lets events run until the condition holds or two seconds pass.
bool WaitFor(const std::function<bool()>& condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > 2000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

unsigned long FocusedWindow() { return std::strtoul(Output("xdotool getwindowfocus").c_str(), nullptr, 10); }

}  // namespace

TEST(X11WindowHelpers, IsCtrlDownFollowsACtrlHeldAndReleasedByAnotherProgram) {
  ASSERT_TRUE(WindowSystem().Available());
  EXPECT_FALSE(IsCtrlDown());
  ASSERT_EQ(Shell("xdotool keydown ctrl"), 0);
  EXPECT_TRUE(IsCtrlDown());
  ASSERT_EQ(Shell("xdotool keyup ctrl"), 0);
  EXPECT_FALSE(IsCtrlDown());
  ASSERT_EQ(Shell("xdotool keydown Control_R"), 0);
  EXPECT_TRUE(IsCtrlDown());
  ASSERT_EQ(Shell("xdotool keyup Control_R"), 0);
  EXPECT_FALSE(IsCtrlDown());
}

TEST(X11WindowHelpers, KeyDownAndUpOfCtrlAreSeenByTheKeyState) {
  KeyDown(VK_CONTROL);
  EXPECT_TRUE(IsCtrlDown());
  KeyUp(VK_CONTROL);
  EXPECT_FALSE(IsCtrlDown());
}

TEST(X11WindowHelpers, PressKeyTypesIntoTheFocusedField) {
  QWidget window;
  auto* edit = new QLineEdit(&window);
  window.resize(200, 40);
  window.show();
  ASSERT_TRUE(ForceForegroundWindow(&window));
  edit->setFocus();
  ASSERT_TRUE(WaitFor([&] { return edit->hasFocus() && QApplication::activeWindow() == &window; }));
  PressKey('V');
  PressKey('4');
  PressKey(VK_SPACE);
  PressKey('Q');
  EXPECT_TRUE(WaitFor([&] { return edit->text() == "v4 q"; })) << edit->text().toStdString();
  PressKey(VK_BACK);
  EXPECT_TRUE(WaitFor([&] { return edit->text() == "v4 "; })) << edit->text().toStdString();
  EXPECT_FALSE(IsCtrlDown());  // every key went up again
}

TEST(X11WindowHelpers, ForceForegroundWindowGivesTheWindowTheFocus) {
  QWidget first, second;
  first.setGeometry(10, 10, 200, 100);
  second.setGeometry(100, 50, 200, 100);
  first.show();
  second.show();
  ASSERT_TRUE(WaitFor([&] { return first.isVisible() && second.isVisible(); }));

  EXPECT_TRUE(ForceForegroundWindow(&first));
  EXPECT_EQ(FocusedWindow(), static_cast<unsigned long>(first.winId()));
  EXPECT_TRUE(ForceForegroundWindow(&second));
  EXPECT_EQ(FocusedWindow(), static_cast<unsigned long>(second.winId()));
  EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &second; }));
  // Already in front: nothing to do but answer true.
  EXPECT_TRUE(ForceForegroundWindow(&second));
  // A child widget stands for its window.
  auto* child = new QWidget(&first);
  EXPECT_TRUE(ForceForegroundWindow(child));
  EXPECT_EQ(FocusedWindow(), static_cast<unsigned long>(first.winId()));
}

TEST(X11WindowHelpers, ForceForegroundWindowOfAHiddenOrMissingWindowAnswersFalse) {
  QWidget hidden;
  EXPECT_FALSE(ForceForegroundWindow(&hidden));
  EXPECT_FALSE(ForceForegroundWindow(nullptr));
}

TEST(X11MessageBox, DraggingTheMarginWithTheMouseMovesTheBox) {
  auto* box = new vemra::TFrmMsgBase;
  box->show();
  ASSERT_TRUE(WaitFor([&] { return box->isVisible() && box->windowHandle()->isExposed(); }));
  const QPoint start = box->pos();
  const QPoint margin = start + QPoint(10, 20);
  const std::string x = std::to_string(margin.x()), y = std::to_string(margin.y());
  ASSERT_EQ(Shell("xdotool mousemove " + x + " " + y + " mousedown 1"), 0);
  // Let the press arrive before the mouse moves on.
  QElapsedTimer pause;
  pause.start();
  while (pause.elapsed() < 100) QApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_EQ(Shell("xdotool mousemove_relative 30 12 mouseup 1"), 0);
  EXPECT_TRUE(WaitFor([&] { return box->pos() == start + QPoint(30, 12); }))
      << box->pos().x() << "," << box->pos().y();
  delete box;
}
