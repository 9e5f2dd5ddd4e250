// SPDX-License-Identifier: GPL-3.0-or-later
// The Control Manager, Navigation Services and standard alerts over real widgets, offscreen.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <memory>
#include <vector>

#include "platform/carbon/Alerts.h"
#include "platform/carbon/Controls.h"
#include "platform/carbon/Navigation.h"
#include "platform/cf/CFQt.h"
#include "tests/platform/carbon/DialogTestSupport.h"
#include "ui_ControlsTestForm.h"

namespace {

QString textOf(ControlRef control) {
  CFStringRef text = nullptr;
  if (GetControlData(control, kControlEntireControl, kControlEditTextCFStringTag, sizeof text, &text, nullptr))
    return QStringLiteral("<error>");
  const QString copy = CFStringToQString(text);
  CFRelease(text);
  return copy;
}

TEST(ControlsTest, TextOfEveryKindOfWidget) {
  struct Case {
    const char* kind;
    std::function<QWidget*()> make;
    QString set;
    QString expect;
  };
  auto combo = [] {
    auto* c = new QComboBox;
    c->addItems({"noun", "verb"});
    return c;
  };
  auto spin = [] {
    auto* s = new QSpinBox;
    s->setRange(0, 100);
    s->setSuffix(" words");
    return s;
  };
  const std::vector<Case> cases = {
      {"line edit", [] { return new QLineEdit; }, "grüße", "grüße"},
      {"label", [] { return new QLabel; }, "Looking up", "Looking up"},
      {"button", [] { return new QPushButton; }, "Define", "Define"},
      {"check box", [] { return new QCheckBox; }, "Remember", "Remember"},
      {"combo box, an item", combo, "verb", "verb"},
      {"combo box, a new item", combo, "adjective", "adjective"},
      {"plain text edit", [] { return new QPlainTextEdit; }, "two\nlines", "two\nlines"},
      {"rich text edit", [] { return new QTextEdit; }, "<b>not markup</b>", "<b>not markup</b>"},
      {"spin box", spin, "42 words", "42 words"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    std::unique_ptr<QWidget> widget(c.make());
    ControlRef control = ControlFromWidget(widget.get());
    CFStringRef text = CFStringCreateWithQString(c.set);
    EXPECT_EQ(SetControlData(control, 0, kControlEditTextCFStringTag, sizeof text, &text), noErr);
    CFRelease(text);
    EXPECT_EQ(textOf(control), c.expect);
    // 'text' is the same in the system encoding (UTF-8); a short buffer gets what fits.
    const QByteArray utf8 = c.expect.toUtf8();
    char buffer[64];
    Size size = 0;
    ASSERT_EQ(GetControlData(control, 0, kControlEditTextTextTag, 3, buffer, &size), noErr);
    EXPECT_EQ(size, utf8.size());
    EXPECT_EQ(QByteArray(buffer, 3), utf8.left(3));
  }
}

TEST(ControlsTest, RefusalsAreQuiet) {
  auto edit = std::make_unique<QLineEdit>("kept");
  ControlRef control = ControlFromWidget(edit.get());
  QWidget plain;
  ControlRef textless = ControlFromWidget(&plain);
  CFStringRef text = CFSTR("x");
  Size size;
  char buffer[8];
  struct Case {
    const char* what;
    OSErr result;
    OSErr expect;
  };
  const Case cases[] = {
      {"null control", SetControlData(nullptr, 0, kControlEditTextCFStringTag, sizeof text, &text), paramErr},
      {"null get", GetControlData(nullptr, 0, kControlEditTextTextTag, 8, buffer, &size), paramErr},
      {"unknown tag", SetControlData(control, 0, FOUR_CHAR_CODE("font"), sizeof text, &text), errDataNotSupported},
      {"wrong size", SetControlData(control, 0, kControlEditTextCFStringTag, 2, &text), errDataSizeMismatch},
      {"null string", GetControlData(control, 0, kControlEditTextCFStringTag, sizeof text, nullptr, &size), paramErr},
      {"no text", SetControlData(textless, 0, kControlEditTextCFStringTag, sizeof text, &text), errDataNotSupported},
      {"filter on no text", SetControlData(textless, 0, kControlEditTextKeyFilterTag, sizeof(void*), &text),
       errDataNotSupported},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expect) << c.what;
  EXPECT_EQ(edit->text(), "kept");

  // A control whose widget is gone is refused, not followed.
  auto* doomed = new QLineEdit;
  ControlRef gone = ControlFromWidget(doomed);
  delete doomed;
  EXPECT_EQ(SetControlData(gone, 0, kControlEditTextCFStringTag, sizeof text, &text), errUnknownControl);
  Draw1Control(gone);
  Draw1Control(nullptr);
}

// A filter that blocks digits and records what it was shown.
struct KeyRecord {
  SInt16 charCode;
  EventModifiers modifiers;
};
std::vector<KeyRecord> keysSeen;
ControlKeyFilterResult noDigits(ControlRef, SInt16*, SInt16* charCode, EventModifiers* modifiers) {
  keysSeen.push_back({*charCode, *modifiers});
  return *charCode >= '0' && *charCode <= '9' ? kControlKeyFilterBlockKey : kControlKeyFilterPassKey;
}

TEST(ControlsTest, KeyFilterBlocksAndPassesTypedKeys) {
  struct Case {
    const char* kind;
    std::function<QWidget*()> make;
  };
  const Case cases[] = {
      {"line edit", [] { return new QLineEdit; }},
      {"plain text edit", [] { return new QPlainTextEdit; }},
      {"editable combo box", [] {
         auto* c = new QComboBox;
         c->setEditable(true);
         return c;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    std::unique_ptr<QWidget> widget(c.make());
    widget->show();
    QApplication::setActiveWindow(widget.get());
    ControlRef control = ControlFromWidget(widget.get());
    ControlKeyFilterUPP proc = noDigits;
    ASSERT_EQ(SetControlData(control, 0, kControlEditTextKeyFilterTag, sizeof proc, &proc), noErr);
    ControlKeyFilterUPP installed = nullptr;
    ASSERT_EQ(GetControlData(control, 0, kControlEditTextKeyFilterTag, sizeof installed, &installed, nullptr), noErr);
    EXPECT_EQ(installed, proc);
    keysSeen.clear();
    QWidget* target = widget.get();
    if (auto* combo = qobject_cast<QComboBox*>(target)) target = combo->lineEdit();
    target->setFocus();
    QTest::keyClicks(target, "a1b2");
    QTest::keyClicks(target, "C", Qt::ShiftModifier);  // the Shift key itself comes first
    EXPECT_EQ(textOf(control), "abC");
    QString typed;
    for (const KeyRecord& key : keysSeen)
      if (key.charCode) typed += QChar(key.charCode);
    EXPECT_EQ(typed, "a1b2C");
    ASSERT_FALSE(keysSeen.empty());
    EXPECT_EQ(keysSeen.back().charCode, 'C');
    EXPECT_EQ(keysSeen.back().modifiers, 0x0200);  // shiftKey
    // Removing the filter lets digits through again.
    ControlKeyFilterUPP none = nullptr;
    ASSERT_EQ(SetControlData(control, 0, kControlEditTextKeyFilterTag, sizeof none, &none), noErr);
    QTest::keyClicks(target, "3");
    EXPECT_EQ(textOf(control), "abC3");
  }
}

TEST(ControlsTest, ControlsByIdFromADesignerForm) {
  QWidget window;
  Ui::ControlsTestForm form;
  form.setupUi(&window);
  WindowRef ref = WindowFromWidget(form.query);
  EXPECT_EQ(WidgetFromWindow(ref), &window);
  ControlRef found = nullptr;
  const ControlID status{FOUR_CHAR_CODE("Lxra"), 4};
  ASSERT_EQ(GetControlByID(ref, &status, &found), noErr);
  EXPECT_EQ(WidgetFromControl(found), form.status);
  const ControlID missing{FOUR_CHAR_CODE("Lxra"), 5};
  EXPECT_EQ(GetControlByID(ref, &missing, &found), errItemNotControl);
  EXPECT_EQ(found, nullptr);
  // An ID set here is found the same way.
  QLineEdit added(&window);
  const ControlID addedID{FOUR_CHAR_CODE("Lxra"), 5};
  ASSERT_EQ(SetControlID(ControlFromWidget(&added), &addedID), noErr);
  ASSERT_EQ(GetControlByID(ref, &addedID, &found), noErr);
  EXPECT_EQ(WidgetFromControl(found), &added);
  EXPECT_EQ(GetControlByID(nullptr, &addedID, &found), errInvalidWindowRef);
}

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(ControlsTest, Draw1ControlRepaintsAtOnce) {
  QLabel label("text");
  label.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
  PaintCounter counter;
  label.installEventFilter(&counter);
  Draw1Control(ControlFromWidget(&label));
  EXPECT_EQ(counter.paints, 1);
}

// --- Navigation Services ----------------------------------------------------------------------

class NavigationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"alpha.txt", "beta.txt", "gamma.txt"}) {
      QFile f(dir.path() + "/" + name);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir(dir.path()).mkdir("folder");
  }
  AEDesc locationOf(const QString& path) {
    FSRef ref;
    FSSpec spec;
    const QByteArray local = QFile::encodeName(path);
    EXPECT_EQ(FSPathMakeRef((const UInt8*)local.constData(), &ref, nullptr), noErr);
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
    AEDesc desc;
    EXPECT_EQ(AECreateDesc(typeFSS, &spec, sizeof spec, &desc), noErr);
    return desc;
  }
  QStringList pathsOf(const NavReplyRecord& reply) {
    QStringList paths;
    long count = 0;
    AECountItems(&reply.selection, &count);
    for (long i = 1; i <= count; ++i) {
      FSSpec spec;
      AEKeyword keyword;
      DescType type;
      Size size;
      FSRef ref;
      UInt8 path[4096];
      if (AEGetNthPtr(&reply.selection, i, typeFSS, &keyword, &type, &spec, sizeof spec, &size) ||
          FSpMakeFSRef(&spec, &ref) || FSRefMakePath(&ref, path, sizeof path))
        paths << "<bad item>";
      else
        paths << QFile::decodeName((const char*)path);
    }
    return paths;
  }
  QTemporaryDir dir;
};

TEST_F(NavigationTest, ChooseSeveralFilesWithLabels) {
  NavDialogOptions options;
  ASSERT_EQ(NavGetDefaultDialogOptions(&options), noErr);
  EXPECT_FALSE(options.dialogOptionFlags & kNavAllowMultipleFiles);
  options.dialogOptionFlags |= kNavAllowMultipleFiles;
  std::memcpy(options.windowTitle, "\12Pick files", 11);
  std::memcpy(options.actionButtonLabel, "\4Take", 5);
  std::memcpy(options.message, "\21Words to look up:", 18);
  AEDesc location = locationOf(dir.path());
  QString title, action, message;
  whenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    title = dialog->windowTitle();
    action = dialog->labelText(QFileDialog::Accept);
    QTimer::singleShot(50, dialog, [&, dialog] {
      if (auto* label = dialog->findChild<QLabel*>("NavigationMessage")) message = label->text();
      chooseInFileDialog(dialog, "\"alpha.txt\" \"beta.txt\" \"gamma.txt\"");
    });
  });
  NavReplyRecord reply;
  ASSERT_EQ(NavChooseFile(&location, &reply, &options, nullptr, nullptr, nullptr, nullptr, nullptr), noErr);
  EXPECT_TRUE(reply.validRecord);
  const QString base = QDir(dir.path()).canonicalPath();
  QStringList chosen = pathsOf(reply);
  chosen.sort();
  EXPECT_EQ(chosen, QStringList({base + "/alpha.txt", base + "/beta.txt", base + "/gamma.txt"}));
  EXPECT_EQ(title, "Pick files");
  EXPECT_EQ(action, "Take");
  EXPECT_EQ(message, "Words to look up:");
  EXPECT_EQ(NavDisposeReply(&reply), noErr);
  EXPECT_FALSE(reply.validRecord);
  AEDisposeDesc(&location);
}

TEST_F(NavigationTest, CancelAndFolders) {
  NavDialogOptions options;
  NavGetDefaultDialogOptions(&options);
  NavReplyRecord reply;
  whenModalShows<QFileDialog>([](QFileDialog* dialog) { chooseInFileDialog(dialog, ""); });
  EXPECT_EQ(NavChooseFile(nullptr, &reply, &options, nullptr, nullptr, nullptr, nullptr, nullptr), userCanceledErr);
  EXPECT_FALSE(reply.validRecord);
  EXPECT_EQ(NavDisposeReply(&reply), noErr);

  // The default location is a file: its folder opens with the file selected.
  AEDesc location = locationOf(dir.path() + "/beta.txt");
  QString shownFolder;
  whenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    shownFolder = dialog->directory().canonicalPath();
    chooseInFileDialog(dialog, "folder");
  });
  ASSERT_EQ(NavChooseFolder(&location, &reply, &options, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(shownFolder, QDir(dir.path()).canonicalPath());
  EXPECT_EQ(pathsOf(reply).join(" | ").toStdString(), QDir(dir.path()).canonicalPath().toStdString() + "/folder");
  NavDisposeReply(&reply);
  AEDisposeDesc(&location);
  EXPECT_EQ(NavChooseFolder(nullptr, nullptr, &options, nullptr, nullptr, nullptr), paramErr);
}

Boolean onlyBeta(AEDesc* item, void*, void* userData, NavFilterModes) {
  ++*static_cast<int*>(userData);
  FSSpec spec;
  AEGetDescData(item, &spec, sizeof spec);
  const QByteArray name((const char*)spec.name + 1, spec.name[0]);
  return name == "beta.txt" || name == "folder";
}

TEST_F(NavigationTest, ObjectFilterHidesItems) {
  NavDialogOptions options;
  NavGetDefaultDialogOptions(&options);
  AEDesc location = locationOf(dir.path());
  int asked = 0;
  QStringList listed;
  whenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    QTimer::singleShot(300, dialog, [&, dialog] {
      auto* view = dialog->findChild<QAbstractItemView*>("listView");
      if (view)
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
          listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
      chooseInFileDialog(dialog, "");
    });
  });
  NavReplyRecord reply;
  EXPECT_EQ(NavChooseFile(&location, &reply, &options, nullptr, nullptr, onlyBeta, nullptr, &asked), userCanceledErr);
  EXPECT_GT(asked, 0);
  listed.sort();
  EXPECT_EQ(listed, QStringList({"beta.txt", "folder"}));
  AEDisposeDesc(&location);
}

// --- Standard alerts --------------------------------------------------------------------------

TEST(AlertsTest, ParamsCreateAndRun) {
  AlertStdCFStringAlertParamRec param;
  EXPECT_EQ(GetStandardAlertDefaultParams(&param, 2), paramErr);
  ASSERT_EQ(GetStandardAlertDefaultParams(&param, kStdCFStringAlertVersionOne), noErr);
  EXPECT_EQ(param.defaultText, kAlertDefaultOKText);
  EXPECT_EQ(param.defaultButton, kAlertStdAlertOKButton);
  EXPECT_EQ(param.cancelText, nullptr);

  struct Case {
    const char* what;
    bool withCancel;
    Qt::Key key;
    DialogItemIndex expect;
  };
  const Case cases[] = {{"Return takes the default", false, Qt::Key_Return, kAlertStdAlertOKButton},
                        {"Escape with one button is OK", false, Qt::Key_Escape, kAlertStdAlertOKButton},
                        {"Escape takes cancel", true, Qt::Key_Escape, kAlertStdAlertCancelButton}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    param.cancelText = c.withCancel ? kAlertDefaultCancelText : nullptr;
    param.cancelButton = c.withCancel ? kAlertStdAlertCancelButton : 0;
    DialogRef alert = nullptr;
    ASSERT_EQ(CreateStandardAlert(kAlertStopAlert, CFSTR("Disk full"), CFSTR("Nothing was saved."), &param, &alert),
              noErr);
    QMessageBox* box = MessageBoxFromDialog(alert);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->text(), "Disk full");
    EXPECT_EQ(box->informativeText(), "Nothing was saved.");
    EXPECT_EQ(box->buttons().size(), c.withCancel ? 2 : 1);
    whenModalShows<QMessageBox>([&](QMessageBox* shown) { QTest::keyClick(shown, c.key); });
    DialogItemIndex hit = 0;
    ASSERT_EQ(RunStandardAlert(alert, nullptr, &hit), noErr);
    EXPECT_EQ(hit, c.expect);
    // Run once: the alert is gone afterwards.
    EXPECT_EQ(RunStandardAlert(alert, nullptr, &hit), paramErr);
  }
  DialogRef alert;
  EXPECT_EQ(CreateStandardAlert(kAlertStopAlert, nullptr, nullptr, nullptr, &alert), paramErr);
  SysBeep(30);
}

}  // namespace
