// SPDX-License-Identifier: GPL-3.0-or-later
// One QApplication for the whole test program: widgets, menus and sockets need it.
#include <QApplication>
#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "vocabulon_platform_ui_tests";
    static char* argv[] = {name, nullptr};
    application_ = new QApplication(argc, argv);
    // Tests close windows; that alone must not end anything.
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override {
    delete application_;
    application_ = nullptr;
  }

 private:
  QApplication* application_ = nullptr;
};

const testing::Environment* const registered =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
