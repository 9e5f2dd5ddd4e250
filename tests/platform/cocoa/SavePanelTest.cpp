#include "platform/cocoa/SavePanel.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/ExportTestSupport.h"

namespace {

QLineEdit* nameField(QFileDialog* dialog) {
  return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// Types a name and presses the dialog's Save button, as a user would.
void typeAndSave(QFileDialog* dialog, const QString& name) {
  QLineEdit* field = nameField(dialog);
  ASSERT_NE(field, nullptr);
  field->setText(name);
  auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  ASSERT_NE(buttons, nullptr);
  QPushButton* save = buttons->button(QDialogButtonBox::Save);
  ASSERT_NE(save, nullptr);
  ASSERT_TRUE(save->isEnabled()) << name.toStdString();
  save->click();
}

class SavePanelTest : public testing::Test {
 protected:
  void SetUp() override {
    folder = env.path() + QStringLiteral("/out");
    QDir().mkpath(folder);
    panel.setRequiredFileType(QStringLiteral("rtfd"));
  }
  void TearDown() override {
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(script.abandoned(), 0);
  }

  TestEnvironment env;
  QString folder;
  SavePanel panel = SavePanel::savePanel();
  ModalScript script;
};

TEST_F(SavePanelTest, ProposesTheNameUnchangedAndCancelChoosesNothing) {
  const QString proposal = QStringLiteral("two lines\nwith a/slash: and colon");
  QString shown;
  QString shownFolder;
  script.then<QFileDialog>([&](QFileDialog* dialog) {
    shown = nameField(dialog)->text();
    shownFolder = dialog->directory().absolutePath();
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    dialog->reject();
  });
  EXPECT_EQ(panel.runModalForDirectory(folder, proposal), NSCancelButton);
  EXPECT_EQ(shown, proposal);
  EXPECT_EQ(shownFolder, folder);
  EXPECT_TRUE(panel.filename().isEmpty());
  EXPECT_TRUE(listTree(folder).isEmpty());

  script.then<QFileDialog>([&](QFileDialog* dialog) {
    shown = nameField(dialog)->text();
    dialog->reject();
  });
  EXPECT_EQ(panel.runModalForDirectory(folder, QString()), NSCancelButton);
  EXPECT_TRUE(shown.isEmpty());
}

TEST_F(SavePanelTest, EveryChosenNameCarriesTheRequiredExtension) {
  const QList<std::pair<QString, QString>> cases = {{"notes", "notes.rtfd"},
                                                    {"notes.txt", "notes.txt.rtfd"},
                                                    {"Notes.RTFD", "Notes.RTFD"},
                                                    {"a.rtfd", "a.rtfd"}};
  for (const auto& [typed, saved] : cases) {
    script.then<QFileDialog>([typed = typed](QFileDialog* dialog) { typeAndSave(dialog, typed); });
    ASSERT_EQ(panel.runModalForDirectory(folder, QStringLiteral("proposed")), NSOKButton)
        << typed.toStdString();
    EXPECT_EQ(panel.filename(), folder + u'/' + saved);
  }
  // An absolute path typed in the field is taken as it is.
  const QString elsewhere = env.path() + QStringLiteral("/elsewhere");
  script.then<QFileDialog>([&](QFileDialog* dialog) { typeAndSave(dialog, elsewhere); });
  ASSERT_EQ(panel.runModalForDirectory(folder, QString()), NSOKButton);
  EXPECT_EQ(panel.filename(), elsewhere + QStringLiteral(".rtfd"));
  EXPECT_TRUE(listTree(folder).isEmpty());  // the panel itself writes nothing
}

TEST_F(SavePanelTest, AnExistingPackageIsReplacedOnlyWhenTheUserSaysSo) {
  QDir().mkpath(folder + QStringLiteral("/Notes.rtfd"));
  int questions = 0;
  script.then<QFileDialog>([](QFileDialog* dialog) { typeAndSave(dialog, QStringLiteral("Notes")); })
      .then<QMessageBox>([&](QMessageBox* box) {
        ++questions;
        box->button(QMessageBox::No)->click();
      })
      // Still open, still in the same folder: the package was not opened as a folder.
      .then<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->directory().absolutePath(), folder);
        typeAndSave(dialog, QStringLiteral("Notes"));
      })
      .then<QMessageBox>([&](QMessageBox* box) {
        ++questions;
        box->button(QMessageBox::Yes)->click();
      });
  ASSERT_EQ(panel.runModalForDirectory(folder, QString()), NSOKButton);
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(panel.filename(), folder + QStringLiteral("/Notes.rtfd"));
}

TEST_F(SavePanelTest, WithoutAFolderItOpensInDocumentsThenWhereTheLastSaveWent) {
  const QString documents = env.home() + QStringLiteral("/Documents");
  QDir().mkpath(documents);
  QString opened;
  script.then<QFileDialog>([&](QFileDialog* dialog) {
    opened = dialog->directory().absolutePath();
    typeAndSave(dialog, folder + QStringLiteral("/first"));
  });
  ASSERT_EQ(panel.runModalForDirectory(QString(), QString()), NSOKButton);
  // A panel run earlier in this process may have chosen a folder; it is gone with its home.
  EXPECT_EQ(opened, documents);

  SavePanel next = SavePanel::savePanel();
  script.then<QFileDialog>([&](QFileDialog* dialog) {
    opened = dialog->directory().absolutePath();
    dialog->reject();
  });
  EXPECT_EQ(next.runModalForDirectory(QString(), QString()), NSCancelButton);
  EXPECT_EQ(opened, folder);
}

}  // namespace
