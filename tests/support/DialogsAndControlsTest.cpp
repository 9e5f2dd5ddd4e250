// SPDX-License-Identifier: GPL-3.0-or-later
// Control text, key filters, the choose dialogs and the stop alert of the support library, with
// real widgets offscreen.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "platform/carbon/Memory.h"
#include "platform/cf/CFQt.h"
#include "support/DialogsAndControls.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/carbon/DialogTestSupport.h"

namespace {

ControlKeyFilterResult passAll(ControlRef, SInt16*, SInt16*, EventModifiers*) { return kControlKeyFilterPassKey; }

TEST(ControlTextTest, NullControlAnswersParamErr) {
  Str255 text;
  QLineEdit edit("kept");
  const OSErr results[] = {
      SetControlCFString(nullptr, CFSTR("x"), true),
      SetControlPascalText(nullptr, (const unsigned char*)"\1x", true),
      SetControlTextFromCFString(nullptr, CFSTR("x"), true),
      GetControlPascalText(nullptr, text),
      SetControlKeyFilter(nullptr, passAll),
      GetControlPascalText(ControlFromWidget(&edit), nullptr),
      SetControlPascalText(ControlFromWidget(&edit), nullptr, false),
      SetControlKeyFilter(ControlFromWidget(&edit), nullptr),
  };
  for (OSErr result : results) EXPECT_EQ(result, paramErr);
  EXPECT_EQ(CopyControlCFString(nullptr), nullptr);
  EXPECT_EQ(FindControlByID(nullptr, FOUR_CHAR_CODE("Lxra"), 1), nullptr);
  EXPECT_EQ(edit.text(), "kept");
}

TEST(ControlTextTest, PascalAndCFStringText) {
  QPlainTextEdit edit;
  ControlRef control = ControlFromWidget(&edit);
  Str255 text;

  // 300 bytes of text: the Pascal form holds the first 255.
  const QByteArray long300(300, 'w');
  edit.setPlainText(QString::fromLatin1(long300));
  std::memset(text, 0xEE, sizeof text);
  ASSERT_EQ(GetControlPascalText(control, text), noErr);
  EXPECT_EQ(text[0], 255);
  EXPECT_EQ(QByteArray((const char*)text + 1, 255), long300.left(255));

  ASSERT_EQ(SetControlPascalText(control, (const unsigned char*)"\6Pascal", false), noErr);
  EXPECT_EQ(edit.toPlainText(), "Pascal");
  ASSERT_EQ(SetControlCFString(control, CFSTR("Straße"), false), noErr);
  CFStringRef copy = CopyControlCFString(control);
  EXPECT_EQ(CFStringToQString(copy), "Straße");
  CFRelease(copy);
  ASSERT_EQ(SetControlTextFromCFString(control, CFSTR("größer"), false), noErr);
  ASSERT_EQ(GetControlPascalText(control, text), noErr);
  EXPECT_EQ(QByteArray((const char*)text + 1, text[0]), QByteArray("größer"));
  // A text over 255 bytes does not convert: 0, and the control keeps its text.
  CFStringRef tooLong = CFStringCreateWithQString(QString(300, u'x'));
  EXPECT_EQ(SetControlTextFromCFString(control, tooLong, true), noErr);
  CFRelease(tooLong);
  EXPECT_EQ(edit.toPlainText(), "größer");
  EXPECT_EQ(SetControlKeyFilter(control, passAll), noErr);
}

class Paints : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    count += e->type() == QEvent::Paint;
    return false;
  }
};

TEST(ControlTextTest, RedrawFlagRepaintsAfterAChange) {
  QLabel label("before");
  label.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
  Paints paints;
  label.installEventFilter(&paints);
  ControlRef control = ControlFromWidget(&label);
  ASSERT_EQ(SetControlCFString(control, CFSTR("after"), false), noErr);
  EXPECT_EQ(paints.count, 0);
  ASSERT_EQ(SetControlCFString(control, CFSTR("again"), true), noErr);
  EXPECT_EQ(paints.count, 1);
  label.setProperty("controlSignature", "Lxra");
  label.setProperty("controlID", 9);
  EXPECT_EQ(FindControlByID(WindowFromWidget(&label), FOUR_CHAR_CODE("Lxra"), 9), control);
}

class ChooseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
      QFile f(env.home() + "/" + name);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir(env.home()).mkdir("words");
    const QByteArray home = QFile::encodeName(env.home());
    FSRef ref;
    ASSERT_EQ(FSPathMakeRef((const UInt8*)home.constData(), &ref, nullptr), noErr);
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &homeSpec, nullptr), noErr);
  }
  QString nameOf(const FSSpec& spec) { return QString::fromUtf8((const char*)spec.name + 1, spec.name[0]); }
  TestEnvironment env;
  FSSpec homeSpec;
};

TEST_F(ChooseTest, ChooseFilesCancelledAndThree) {
  whenModalShows<QFileDialog>([](QFileDialog* dialog) { chooseInFileDialog(dialog, ""); });
  EXPECT_EQ(ChooseFiles(&homeSpec, "Choose the word lists"), nullptr);

  // A message over 255 bytes is cut to 255, at a character's start.
  const QByteArray longMessage = QByteArray(254, 'm') + "ü and more";
  QString shownMessage;
  whenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    QTimer::singleShot(50, dialog, [&, dialog] {
      if (auto* label = dialog->findChild<QLabel*>("NavigationMessage")) shownMessage = label->text();
      chooseInFileDialog(dialog, "\"one.txt\" \"two.txt\" \"three.txt\"");
    });
  });
  Ptr block = ChooseFiles(&homeSpec, longMessage.constData());
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GetPtrSize(block), 210);
  QStringList names;
  for (int i = 0; i < 3; ++i) {
    FSSpec spec;
    std::memcpy(&spec, block + i * 70, 70);
    names << nameOf(spec);
  }
  DisposePtr(block);
  names.sort();
  EXPECT_EQ(names, QStringList({"one.txt", "three.txt", "two.txt"}));
  EXPECT_EQ(shownMessage, QString(254, u'm'));
}

// A name too long for an FSSpec travels shortened, and the shortened name finds the file again.
TEST_F(ChooseTest, ChosenLongNameFindsItsFile) {
  const QString longName = QString(90, u'l') + ".txt";
  QFile f(env.home() + "/" + longName);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  whenModalShows<QFileDialog>([&](QFileDialog* dialog) { chooseInFileDialog(dialog, longName); });
  Ptr block = ChooseFiles(&homeSpec, nullptr);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(GetPtrSize(block), 70);
  FSSpec spec;
  std::memcpy(&spec, block, 70);
  DisposePtr(block);
  EXPECT_LE(spec.name[0], 63);
  FSRef ref;
  UInt8 path[4096];
  ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr);
  ASSERT_EQ(FSRefMakePath(&ref, path, sizeof path), noErr);
  EXPECT_EQ(QFile::decodeName((const char*)path), QFileInfo(f).canonicalFilePath());
}

TEST_F(ChooseTest, ChooseFolderWithLabels) {
  FSSpec folder{};
  QString title, action, message;
  whenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    title = dialog->windowTitle();
    action = dialog->labelText(QFileDialog::Accept);
    QTimer::singleShot(50, dialog, [&, dialog] {
      if (auto* label = dialog->findChild<QLabel*>("NavigationMessage")) message = label->text();
      chooseInFileDialog(dialog, "words");
    });
  });
  ASSERT_EQ(ChooseFolder(&homeSpec, true, &folder, nullptr), noErr);
  EXPECT_EQ(nameOf(folder), "words");
  EXPECT_EQ(title, "Choose");
  EXPECT_EQ(action, "Choose");
  EXPECT_EQ(message, "Choose folder");

  // A default location naming nothing: the dialog still shows, without it; no message asked.
  FSSpec nowhere{};
  nowhere.vRefNum = -9999;
  FSSpec untouched;
  std::memset(&untouched, 0x11, sizeof untouched);
  bool shown = false;
  whenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    shown = true;
    QTimer::singleShot(50, dialog, [&, dialog] {
      message = dialog->findChild<QLabel*>("NavigationMessage") ? "present" : "absent";
      chooseInFileDialog(dialog, "");
    });
  });
  EXPECT_EQ(ChooseFolder(&nowhere, false, &untouched, nullptr), userCanceledErr);
  EXPECT_TRUE(shown);
  EXPECT_EQ(message, "absent");
  EXPECT_EQ(untouched.vRefNum, 0x1111);
}

TEST(StopAlertTest, ShowsTheStopIconAndOneOkButton) {
  QString text, informative;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  whenModalShows<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    informative = box->informativeText();
    icon = box->icon();
    buttons = box->buttons().size();
    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
  });
  EXPECT_EQ(ShowStopAlert(CFSTR("Could not save"), CFSTR("The disk is full.")), noErr);
  EXPECT_EQ(text, "Could not save");
  EXPECT_EQ(informative, "The disk is full.");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, 1);
  EXPECT_EQ(ShowStopAlert(nullptr, nullptr), paramErr);
}

}  // namespace
