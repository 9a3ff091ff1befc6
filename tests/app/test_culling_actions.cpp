// The culling commands as the window uses them, with a stand-in window: delete with and
// without the question, undo newest first, rename, copy and move with the targets
// remembered, the thumbnail cache kept in step, failures said, the order remembered, and the
// clipboard.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>

#include "../files/file_fixtures.h"
#include "culling_actions.h"
#include "mview/thumbnail_cache.h"

using namespace velora;
using namespace velora::filetest;

namespace {

struct THost : TCullingHost {
  std::string current;
  QImage picture;
  std::vector<std::string> changes;  // FilesChanged's selections
  QStringList messages;
  std::vector<std::pair<TSortOrder, bool>> sorts;
  std::string opened;
  std::string CurrentFile() const override { return current; }
  QImage CurrentPicture() const override { return picture; }
  void FilesChanged(const std::string& select) override { changes.push_back(select); }
  void ShowMessage(const QString& text) override { messages << text; }
  void OpenFolder(const std::string& folder) override { opened = folder; }
  void SortChanged(TSortOrder order, bool reversed) override { sorts.emplace_back(order, reversed); }
  QWidget* DialogParent() override { return nullptr; }
};

struct TCullingFixture {
  TScratch scratch;
  TScopedDataHome home{scratch.Path() + "/data"};
  QSettings settings{QString::fromStdString(scratch.Path() + "/settings.ini"), QSettings::IniFormat};
  TVLThumbnailCache cache{QString::fromStdString(scratch.Path() + "/thumbnails")};
  THost host;
  TCullingActions actions{host, cache, settings};
  int questions = 0;
  bool answer = true, dontAskAgain = false;

  TCullingFixture() {
    actions.AskDelete = [this](const QString&, bool& again) {
      ++questions;
      again = dontAskAgain;
      return answer;
    };
    actions.AskName = [](QString&) { ADD_FAILURE() << "no name asked in this test"; return false; };
    actions.AskFolder = [](const QString&) { ADD_FAILURE() << "no folder asked in this test"; return QString(); };
  }
  std::string Picture(const std::string& name) {
    const std::string path = scratch.File("pics/" + name, Content(name));
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    cache.Store(QString::fromStdString(path), image, 128, 40, 30, "image/jpeg");
    return path;
  }
  bool HasThumbnail(const std::string& path) {
    return QFile::exists(cache.ThumbnailPath(QString::fromStdString(path), 128));
  }
};

TEST(CullingActions, DeleteAsksUntilToldNotToThenUndoNewestFirst) {
  TCullingFixture f;
  const std::string a = f.Picture("a.jpg"), b = f.Picture("b.jpg");
  const TCensus before = Census({f.scratch.Path() + "/pics"});

  f.host.current = a;
  f.answer = false;
  EXPECT_FALSE(f.actions.DeleteCurrent());
  EXPECT_TRUE(fs::exists(a));
  f.answer = true;
  f.dontAskAgain = true;
  ASSERT_TRUE(f.actions.DeleteCurrent()) << f.host.messages.join("\n").toStdString();
  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(f.HasThumbnail(a)) << "the thumbnail goes with the file";
  EXPECT_FALSE(f.actions.ConfirmDelete());
  EXPECT_FALSE(f.actions.actConfirmDelete->isChecked());
  f.host.current = b;
  ASSERT_TRUE(f.actions.DeleteCurrent());
  EXPECT_EQ(f.questions, 2) << "not asked once turned off";
  EXPECT_TRUE(f.host.messages.last().contains("trash")) << f.host.messages.last().toStdString();

  ASSERT_TRUE(f.actions.UndoDelete());
  EXPECT_EQ(f.host.changes.back(), b);
  ASSERT_TRUE(f.actions.UndoDelete());
  EXPECT_EQ(f.host.changes.back(), a);
  EXPECT_FALSE(f.actions.UndoDelete()) << "nothing left to undo";
  EXPECT_EQ(Census({f.scratch.Path() + "/pics"}), before);
  EXPECT_EQ(QSettings(f.settings.fileName(), QSettings::IniFormat).value("Culling/ConfirmDelete").toBool(), false);
}

TEST(CullingActions, RenameFollowsTheThumbnailAndRefusesATakenName) {
  TCullingFixture f;
  const std::string a = f.Picture("a.jpg");
  f.Picture("taken.jpg");
  f.host.current = a;
  QString asked;
  f.actions.AskName = [&asked](QString& name) {
    asked = name;
    name = "taken.jpg";
    return true;
  };
  EXPECT_FALSE(f.actions.RenameCurrent());
  EXPECT_EQ(asked, "a.jpg");
  EXPECT_TRUE(f.host.messages.last().contains("exists")) << f.host.messages.last().toStdString();
  EXPECT_EQ(ReadText(a), Content("a.jpg"));
  EXPECT_EQ(ReadText(f.scratch.Path() + "/pics/taken.jpg"), Content("taken.jpg"));

  f.actions.AskName = [](QString& name) {
    name = "b.jpg";
    return true;
  };
  ASSERT_TRUE(f.actions.RenameCurrent());
  const std::string b = f.scratch.Path() + "/pics/b.jpg";
  EXPECT_EQ(f.host.changes.back(), b);
  EXPECT_EQ(ReadText(b), Content("a.jpg"));
  EXPECT_FALSE(f.HasThumbnail(a));
  EXPECT_FALSE(f.cache.Lookup(QString::fromStdString(b), 128).isNull());
}

TEST(CullingActions, CopyAndMoveRememberTheLastFiveTargets) {
  TCullingFixture f;
  std::vector<QString> folders;
  for (int i = 0; i < 7; ++i) folders.push_back(QString::fromStdString(f.scratch.Folder("to" + std::to_string(i))));
  for (int i = 0; i < 7; ++i) {
    f.host.current = f.Picture("p" + std::to_string(i) + ".jpg");
    ASSERT_TRUE(f.actions.TransferCurrent(i % 2 == 1, folders[size_t(i)])) << f.host.messages.last().toStdString();
  }
  EXPECT_EQ(f.actions.RecentTargets(), QStringList({folders[6], folders[5], folders[4], folders[3], folders[2]}));
  // The menus offer them, newest first, then the dialog.
  QStringList offered;
  for (QAction* action : f.actions.MoveToMenu->actions())
    if (!action->isSeparator()) offered << action->text();
  EXPECT_EQ(offered.size(), 6);
  EXPECT_EQ(offered.first(), folders[6]);
  // A target used again moves to the front, without a duplicate.
  f.host.current = f.Picture("again.jpg");
  ASSERT_TRUE(f.actions.TransferCurrent(true, folders[4]));
  EXPECT_EQ(f.actions.RecentTargets().first(), folders[4]);
  EXPECT_EQ(f.actions.RecentTargets().size(), 5);
  const std::string moved = folders[4].toStdString() + "/again.jpg";
  EXPECT_EQ(ReadText(moved), Content("again.jpg"));
  EXPECT_FALSE(f.cache.Lookup(QString::fromStdString(moved), 128).isNull()) << "the thumbnail moved along";
  // Copies keep the original; a clash is numbered.
  f.host.current = f.scratch.Path() + "/pics/p0.jpg";
  ASSERT_TRUE(f.actions.TransferCurrent(false, folders[0]));
  EXPECT_EQ(ReadText(folders[0].toStdString() + "/p0 (2).jpg"), Content("p0.jpg"));
  EXPECT_EQ(ReadText(f.host.current), Content("p0.jpg"));
}

TEST(CullingActions, FailuresAreSaidAndChangeNothing) {
  TCullingFixture f;
  const std::string a = f.Picture("a.jpg");
  f.host.current = a;
  fs::remove(a);  // gone between selection and command
  f.actions.SetConfirmDelete(false);
  f.actions.AskName = [](QString& name) {
    name = "b.jpg";
    return true;
  };
  const std::string to = f.scratch.Folder("to");
  for (const auto& command : std::vector<std::function<bool()>>{
           [&] { return f.actions.DeleteCurrent(); }, [&] { return f.actions.RenameCurrent(); },
           [&] { return f.actions.TransferCurrent(true, QString::fromStdString(to)); }}) {
    f.host.messages.clear();
    EXPECT_FALSE(command());
    ASSERT_EQ(f.host.messages.size(), 1);
    EXPECT_TRUE(f.host.messages.last().contains("gone")) << f.host.messages.last().toStdString();
  }
  EXPECT_TRUE(f.host.changes.empty());
  EXPECT_TRUE(f.actions.RecentTargets().isEmpty()) << "a failed move remembers no target";
  EXPECT_FALSE(f.actions.CanUndoDelete());
}

TEST(CullingActions, TheOrderIsRememberedAndTheMenuShowsIt) {
  TCullingFixture f;
  EXPECT_EQ(f.actions.SortOrder(), TSortOrder::soName);
  f.actions.SetSort(TSortOrder::soDateTaken, true);
  f.actions.SetSort(TSortOrder::soDateTaken, true);  // no change: the window is not told again
  ASSERT_EQ(f.host.sorts.size(), 1u);
  EXPECT_EQ(f.host.sorts[0], std::make_pair(TSortOrder::soDateTaken, true));
  THost other;
  TCullingActions again(other, f.cache, f.settings);
  EXPECT_EQ(again.SortOrder(), TSortOrder::soDateTaken);
  EXPECT_TRUE(again.SortReversed());
  QStringList checked;
  for (QAction* action : again.SortMenu->actions())
    if (action->isChecked()) checked << action->text();
  EXPECT_EQ(checked, QStringList({"By date &taken", "&Reversed"}));
  // Choosing from the menu is SetSort.
  again.SortMenu->actions().at(3)->trigger();
  EXPECT_EQ(again.SortOrder(), TSortOrder::soSize);
  EXPECT_EQ(other.sorts.back(), std::make_pair(TSortOrder::soSize, true));
}

TEST(CullingActions, ClipboardAndOpenFolder) {
  TCullingFixture f;
  f.host.current = f.Picture("a b.jpg");
  ASSERT_TRUE(f.actions.CopyPathToClipboard());
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), f.host.current);
  f.host.picture = QImage(17, 9, QImage::Format_RGB32);
  f.host.picture.fill(Qt::blue);
  ASSERT_TRUE(f.actions.CopyPictureToClipboard());
  EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(17, 9));
  f.actions.AskFolder = [](const QString&) { return QString("/somewhere"); };
  f.actions.actOpenFolder->trigger();
  EXPECT_EQ(f.host.opened, "/somewhere");
  EXPECT_EQ(f.actions.actOpenFolder->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_EQ(f.actions.actDelete->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(f.actions.actRename->shortcut(), QKeySequence(Qt::Key_F2));
}

}  // namespace
