// The x11 test harness with a tray host: the notification area is there for a tray icon.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSystemTrayIcon>
#include <QThread>

TEST(X11Harness, TrayHostRunsForTestsThatAskForIt) {
  QElapsedTimer timer;
  timer.start();
  while (!QSystemTrayIcon::isSystemTrayAvailable() && timer.elapsed() < 3000) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_NE(qgetenv("DISPLAY"), QByteArray());
}
