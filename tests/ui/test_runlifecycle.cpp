// Window tests of the end of a run: Karvelo.log in the working directory and removal of work files.
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "core/runlog.h"
#include "ui/frmkarvelo.h"
#include "ui/termination.h"
#include "uitests.h"

using namespace karvelo;

namespace {

// Runs the test body inside a fresh temporary working directory and returns to the old one.
class InTemporaryDirectory {
 public:
  InTemporaryDirectory() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~InTemporaryDirectory() { QDir::setCurrent(old_); }
  QString path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  QString old_;
};

struct RecordingWindow {
  TfrmKarvelo w;
  QStringList messages;
  QStringList panel2AtMessage;
  RecordingWindow() {
    w.hooks.message = [this](const QString& text, MessageKind) {
      messages << text;
      panel2AtMessage << w.stsbrPanel2->text();
    };
    w.hooks.showModal = [](QDialog&) { return 0; };
    w.hooks.ask = [this](const QString& text, const QStringList&, int fallback) {
      messages << text;
      panel2AtMessage << w.stsbrPanel2->text();
      return fallback;
    };
  }
};

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void MakeFile(const QString& path) {
  std::ofstream(path.toStdString()) << "work";
}

}  // namespace

class RunLifecycleTest : public QObject {
  Q_OBJECT
 private slots:
  void closingRightAfterStartWritesFiveLines() {
    InTemporaryDirectory cwd;
    RecordingWindow r;
    r.w.FormActivate();
    r.w.close();

    const QByteArray log = ReadAll(cwd.path("Karvelo.log"));
    // Every line ends with CR LF, and there is no bare LF or CR anywhere.
    QVERIFY(log.endsWith("\r\n"));
    QCOMPARE(log.count("\r\n"), 5);
    QCOMPARE(log.count('\n'), 5);
    QCOMPARE(log.count('\r'), 5);
    const QList<QByteArray> lines = log.chopped(2).split('\n');
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0].chopped(1), QByteArray(kMainCaption));  // the CR ends each line
    QCOMPARE(lines[1].chopped(1), QByteArray::fromStdString(CreditLine()));
    QCOMPARE(lines[2].chopped(1), QByteArray(60, '-'));
    QVERIFY(lines[3].startsWith("Starting Karvelo run at "));
    QVERIFY(lines[4].startsWith("End of Karvelo run at "));
    QVERIFY(!lines[4].endsWith('\r'));  // its CR LF was cut off above

    QCOMPARE(r.messages, QStringList{"Logfile saved to Karvelo.log"});
    QCOMPARE(r.panel2AtMessage, QStringList{"Saving logfile ..."});
    QCOMPARE(r.w.stsbrPanel2->text(), QString("Cleaning up ..."));
  }

  void closingReplacesAnOlderLog() {
    InTemporaryDirectory cwd;
    {
      std::ofstream old(cwd.path("Karvelo.log").toStdString());
      old << std::string(10000, 'x');
    }
    RecordingWindow r;
    r.w.FormActivate();
    r.w.log("one more line");
    r.w.close();
    QCOMPARE(ReadAll(cwd.path("Karvelo.log")).count('\n'), 6);
    QVERIFY(!ReadAll(cwd.path("Karvelo.log")).contains("xxx"));
  }

  void workFilesAreDeletedAndARepeatIsSkipped() {
    InTemporaryDirectory cwd;
    RecordingWindow r;
    r.w.FormActivate();
    const QString twice = cwd.path("Positives.bin");
    const QString once = cwd.path("InsideMap.bin");
    MakeFile(twice);
    MakeFile(once);
    r.w.registerWorkFile(twice.toStdString());
    r.w.registerWorkFile(once.toStdString());
    r.w.registerWorkFile(twice.toStdString());
    r.w.registerWorkFile(cwd.path("never-made.bin").toStdString());
    r.w.close();
    QVERIFY(!QFile::exists(twice));
    QVERIFY(!QFile::exists(once));
    QCOMPARE(r.messages, QStringList{"Logfile saved to Karvelo.log"});
  }

  void aLogThatCannotBeWrittenIsReportedAndTheRunStillEnds() {
    InTemporaryDirectory cwd;
    QVERIFY(QDir(cwd.path("")).mkdir("Karvelo.log"));  // a folder where the log should go
    RecordingWindow r;
    r.w.FormActivate();
    const QString work = cwd.path("Negatives.bin");
    MakeFile(work);
    r.w.registerWorkFile(work.toStdString());
    r.w.close();
    QCOMPARE(r.messages.size(), 1);
    QVERIFY(r.messages[0] != "Logfile saved to Karvelo.log");
    QVERIFY2(r.messages[0].contains("Karvelo.log"), qPrintable(r.messages[0]));
    QVERIFY(!QFile::exists(work));
    QVERIFY(r.w.isHidden());
  }

  void theRunEndsOnlyOnce() {
    InTemporaryDirectory cwd;
    RecordingWindow r;
    r.w.FormActivate();
    r.w.FormClose();
    QFile::remove(cwd.path("Karvelo.log"));
    r.w.close();
    QVERIFY(!QFile::exists(cwd.path("Karvelo.log")));
    QCOMPARE(r.messages.size(), 1);
  }

  // kill ends the run as the user's close does, without a box that nobody is there to answer.
  void aTerminationSignalClosesTheWindowAsTheUserWould() {
    InTemporaryDirectory cwd;
    RecordingWindow r;
    auto* watcher = new TerminationWatcher(r.w);
    r.w.show();
    r.w.FormActivate();
    QVERIFY(QFile::exists(cwd.path(".karvelo.lock")));
    ::raise(SIGTERM);
    QTRY_VERIFY(!r.w.isVisible());
    QVERIFY(r.messages.isEmpty());
    QVERIFY(ReadAll(cwd.path("Karvelo.log")).contains("End of Karvelo run at "));
    QVERIFY(!QFile::exists(cwd.path(".karvelo.lock")));
    delete watcher;
  }
};

int RunRunLifecycleTests(int argc, char** argv) {
  RunLifecycleTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_runlifecycle.moc"
