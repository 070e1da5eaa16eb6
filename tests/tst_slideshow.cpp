// The slide list, the slideshow control and the picture display, through the real window.
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QtTest>

#include "TestServices.h"
#include "Twips.h"
#include "frmStart.h"
#include "mdlSlideDef.h"
#include "mdlSlideSys.h"

namespace {
void writeJpeg(const QString& path, int w, int h, QColor colour = Qt::darkCyan) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "JPG"));
}
} // namespace

class SlideshowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestServices> ts;
    std::unique_ptr<QTemporaryDir> pics;
    std::unique_ptr<frmStart> form;

    QString pic(const QString& name) const { return pics->path() + "/" + name; }

    void start(const QString& commandLine = QString(), int interval = 30) {
        QDir().mkpath(ts->userDataFolder());
        TestServices::writeCp932(
            ts->userDataFolder() + "/Slide.INI",
            "[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=" + QString::number(interval) + "\r\n");
        ts->commandLineText = commandLine;
        form = std::make_unique<frmStart>();
        QVERIFY(form->Form_Load());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    // Idle, Running or Stopped, read off the controls; fails on a mixed state.
    QString state() const {
        QStringList s;
        for (int i = 0; i < 4; ++i) {
            const bool enabled = form->cmdPlayer[i]->isEnabled();
            if (form->picOn[i]->isHidden() == enabled || form->picOff[i]->isHidden() != enabled)
                return QStringLiteral("glyph %1 does not follow its button").arg(i);
            s << (enabled ? "1" : "0");
        }
        const QString buttons = s.join("");
        const bool menus = form->mnuFile->isEnabled() && form->mnuTool->isEnabled();
        const bool timer = form->tmrSlideShow->isActive();
        if (buttons == "0000" && menus && !timer)
            return "Idle";
        if (buttons == "0111" && !form->mnuFile->isEnabled() && !form->mnuTool->isEnabled() &&
            timer)
            return "Running";
        if (buttons == "1011" && menus && !timer)
            return "Stopped";
        return "mixed " + buttons;
    }

    void drop(const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        const QPointF at(10, 10);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form->fraImgArea, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form->fraImgArea, &dropEvent);
    }

private Q_SLOTS:
    void init() {
        ts = std::make_unique<TestServices>();
        ts->clock = QDateTime(QDate(2026, 12, 7), QTime(22, 38, 42));
        pics = std::make_unique<QTemporaryDir>();
        for (const char* name : {"a.jpg", "b.jpg", "c.JPG", "d.jpeg", "jpg"})
            writeJpeg(pic(name), 64, 48);
    }
    void cleanup() {
        form.reset();
        pics.reset();
        ts.reset();
    }

    void slideList_data() {
        QTest::addColumn<QString>("named");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<int>("showNo");
        QTest::newRow("b.jpg") << "b.jpg" << QStringList{"a.jpg", "b.jpg", "c.JPG"} << 1;
        QTest::newRow("capital extension")
            << "c.JPG" << QStringList{"a.jpg", "b.jpg", "c.JPG"} << 2;
        QTest::newRow(".jpeg lists only .jpeg") << "d.jpeg" << QStringList{"d.jpeg"} << 0;
        // No listed name equals B.JPG exactly: the current slide stays where it was.
        QTest::newRow("B.JPG for b.jpg") << "B.JPG" << QStringList{"a.jpg", "b.jpg", "c.JPG"} << 0;
        QTest::newRow("a file named jpg") << "jpg" << QStringList{"a.jpg", "b.jpg", "c.JPG"} << 0;
    }
    void slideList() {
        QFETCH(QString, named);
        QFETCH(QStringList, list);
        QFETCH(int, showNo);
        start();
        QVERIFY(form->fbGetShowFile(pic(named)));
        QCOMPARE(sFile, list);
        QCOMPARE(gnShowNo, showNo);
        QCOMPARE(gsShowFolder, pics->path());
        QCOMPARE(SlideSettings.RootPath, pics->path());
        QVERIFY(ts->messages.isEmpty());
    }

    void hiddenAndReadOnlyPicturesAreListed() {
        writeJpeg(pic(".hidden.jpg"), 8, 8);
        QFile::setPermissions(pic("b.jpg"), QFile::ReadOwner);
        QDir().mkdir(pic("folder.jpg"));
        start();
        QVERIFY(form->fbGetShowFile(pic("a.jpg")));
        QCOMPARE(sFile.join(","), QString(".hidden.jpg,a.jpg,b.jpg,c.JPG"));
    }

    void rejectedNamesChangeNothing_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("message");
        QTest::newRow("png") << "PICS/x.png" << true;
        QTest::newRow("quoted path") << "\"PICS/b.jpg\"" << true;
        QTest::newRow("no separator") << "b.jpg" << false;
        QTest::newRow("empty folder") << "PICS/empty/x.jpg" << false;
    }
    void rejectedNamesChangeNothing() {
        QFETCH(QString, path);
        QFETCH(bool, message);
        QDir().mkdir(pic("empty"));
        start();
        QVERIFY(form->fbGetShowFile(pic("b.jpg")));
        QVERIFY(!form->fbGetShowFile(path.replace("PICS", pics->path())));
        QCOMPARE(sFile, (QStringList{"a.jpg", "b.jpg", "c.JPG"}));
        QCOMPARE(gnShowNo, 1);
        QCOMPARE(ts->messages.size(), message ? 1 : 0);
        if (message) {
            QCOMPARE(ts->messages[0].text,
                     QStringLiteral("拡張子が[ jpg]か[jpeg]のファイルを選んでください。"));
            QCOMPARE(ts->messages[0].title, QStringLiteral("ファイル設定エラー"));
            QCOMPARE(ts->messages[0].icon, platform::MsgIcon::Warning);
        }
    }

    void commandLineStartsTheShow() {
        start(pic("b.jpg"));
        QCOMPARE(state(), QString("Running"));
        QCOMPARE(form->lblCnt->text(), QStringLiteral("2 / 3"));
        QVERIFY(!form->imgViewer->isHidden());
        QCOMPARE(form->tmrSlideShow->interval(), 3000);
        const QString log =
            TestServices::readCp932(ts->userDataFolder() + "/Log/20261207_tester_pixelion.dbg");
        QVERIFY(log.contains("[pixelion] GetCommandStrig Command=[" + pic("b.jpg") + "]\r\n"));
        QVERIFY(log.contains("[pixelion] SlideShow_File=[" + pic("b.jpg") + "]\r\n"));
        QVERIFY(log.contains("[pixelion] fbShowPic() Start　hnPicNo=1\r\n"));
        QVERIFY(log.contains("[pixelion] [GetImagSize]　Width=[64]/Height=[48]/BPP=[24]\r\n"));
    }

    void emptyCommandLineOpensIdle() {
        start();
        QCOMPARE(state(), QString("Idle"));
        QCOMPARE(form->lblCnt->text(), QStringLiteral("0 / 0"));
        const QString log =
            TestServices::readCp932(ts->userDataFolder() + "/Log/20261207_tester_pixelion.dbg");
        QVERIFY(log.contains("[pixelion] GetCommandStrig Command=[]\r\n"));
    }

    void playerButtonsFollowTheStateTable() {
        start(pic("c.JPG"));
        QCOMPARE(form->lblCnt->text(), QStringLiteral("3 / 3"));
        // Next while running: the next slide (wrapping to the first), then stopped.
        QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("1 / 3"));
        QCOMPARE(gnShowNo, 0);
        QCOMPARE(state(), QString("Stopped"));
        // Previous on the first slide shows the last; the show stays stopped.
        QTest::mouseClick(form->cmdPlayer[2], Qt::LeftButton);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("3 / 3"));
        QCOMPARE(state(), QString("Stopped"));
        // Start shows the current slide again at once, and runs.
        QTest::mouseClick(form->cmdPlayer[0], Qt::LeftButton);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("3 / 3"));
        QCOMPARE(state(), QString("Running"));
        QTest::mouseClick(form->cmdPlayer[1], Qt::LeftButton);
        QCOMPARE(state(), QString("Stopped"));
    }

    void timerAdvancesAndWraps() {
        start(pic("b.jpg"), 1); // 100 ms
        QCOMPARE(form->tmrSlideShow->interval(), 100);
        QTRY_COMPARE_WITH_TIMEOUT(form->lblCnt->text(), QStringLiteral("3 / 3"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(form->lblCnt->text(), QStringLiteral("1 / 3"), 5000);
        QCOMPARE(state(), QString("Running"));
    }

    void onePictureListShowsItAgain() {
        start(pic("d.jpeg"), 1);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("1 / 1"));
        QSignalSpy ticks(form->tmrSlideShow, &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 5000);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("1 / 1"));
        QCOMPARE(state(), QString("Running"));
    }

    void deletedPictureStopsTheShow() {
        start(pic("a.jpg"), 1);
        QVERIFY(QFile::remove(pic("b.jpg")));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QString("Stopped"), 5000);
        QCOMPARE(gnShowNo, 1); // Start tries the failed slide again first
        QCOMPARE(ts->messages.size(), 1);
        QCOMPARE(ts->messages[0].title, QStringLiteral("エラー"));
        QCOMPARE(ts->messages[0].icon, platform::MsgIcon::Critical);
        QCOMPARE(ts->messages[0].text,
                 "表示ファイル「b.jpg」を取得できませんでした。\r\n表示フォルダ「" + pics->path() +
                     "」を確認してください。");
        QVERIFY(form->imgViewer->isHidden());
        QCOMPARE(form->lblCnt->text(), QStringLiteral("1 / 3")); // the counter keeps its text
    }

    void undecodablePictureGetsTheErrorBox() {
        TestServices::writeBytes(pic("a.jpg"),
                                 QByteArray("\xFF\xD8\xFF\xC0\x00\x11\x08\x00\x10\x00\x10", 11) +
                                     QByteArray(64, '\x55'));
        start(pic("a.jpg"));
        QCOMPARE(ts->messages.size(), 1);
        QVERIFY(ts->messages[0].text.startsWith("表示ファイル「a.jpg」"));
        QCOMPARE(state(), QString("Running")); // the first picture's failure does not stop the show
    }

    void dropOfOneFileStartsAndOfTwoIsRefused() {
        start();
        drop({pic("b.jpg")});
        QCOMPARE(state(), QString("Running"));
        QCOMPARE(form->lblCnt->text(), QStringLiteral("2 / 3"));
        drop({pic("a.jpg"), pic("d.jpeg")});
        QCOMPARE(ts->messages.size(), 1);
        QCOMPARE(ts->messages[0].text, QStringLiteral("複数ファイルの指定はできません。"));
        QCOMPARE(ts->messages[0].title, QStringLiteral("設定エラー"));
        QCOMPARE(ts->messages[0].icon, platform::MsgIcon::Warning);
        QCOMPARE(state(), QString("Stopped"));
        QCOMPARE(sFile, (QStringList{"a.jpg", "b.jpg", "c.JPG"}));
        // A drop is taken while running too: the show restarts on the new list.
        QTest::mouseClick(form->cmdPlayer[0], Qt::LeftButton);
        drop({pic("d.jpeg")});
        QCOMPARE(state(), QString("Running"));
        QCOMPARE(sFile, QStringList{"d.jpeg"});
    }

    void failedDropOnEmptyListStopsHarmlessly() {
        start();
        drop({pic("x.txt")});
        QCOMPARE(state(), QString("Stopped")); // Start, Previous and Next enabled on an empty list
        QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton);
        QTest::mouseClick(form->cmdPlayer[0], Qt::LeftButton);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("0 / 0"));
        QVERIFY(form->imgViewer->isHidden());
        QCOMPARE(ts->messages.size(), 1); // only the extension message
    }

    // The dialog opens at a folder that exists, so that it never opens elsewhere with a missing
    // folder's name in its file-name box; RootPath itself stays as it was.
    void fileDialogOpensAtAFolderThatExists_data() {
        QTest::addColumn<QString>("rootPath"); // under the pictures' folder; "" for none
        QTest::addColumn<bool>("documents");   // whether the documents folder exists
        QTest::addColumn<QString>("opensAt");  // under the pictures' folder, "documents", "parent"
        QTest::newRow("RootPath") << "" << true << "";
        QTest::newRow("RootPath gone: its parent") << "/gone" << true << "";
        QTest::newRow("two levels gone") << "/gone/deeper" << false << "";
        QTest::newRow("no RootPath: documents") << "-" << true << "documents";
        // An empty RootPath becomes the documents folder; a new account may not have one.
        QTest::newRow("no RootPath, no documents: their parent") << "-" << false << "parent";
    }
    void fileDialogOpensAtAFolderThatExists() {
        QFETCH(QString, rootPath);
        QFETCH(bool, documents);
        QFETCH(QString, opensAt);
        if (documents)
            QVERIFY(QDir().mkpath(ts->documentsFolder));
        start();
        SlideSettings.RootPath = rootPath == "-" ? QString() : pics->path() + rootPath;
        const QString stored = SlideSettings.RootPath;
        form->mnuFileRed->trigger();
        QCOMPARE(ts->dialogs.size(), 1);
        const QString expected = opensAt == "documents" ? ts->documentsFolder
                                 : opensAt == "parent"  ? QFileInfo(ts->documentsFolder).path()
                                                        : pics->path() + opensAt;
        QCOMPARE(ts->dialogs[0].initialFolder, expected);
        if (!stored.isEmpty())
            QCOMPARE(SlideSettings.RootPath, stored);
    }

    void fileDialogStartsTheShowOrCancels() {
        QVERIFY(QDir().mkpath(ts->documentsFolder));
        start();
        // Cancel: nothing changes but the start folder, which becomes the documents folder.
        form->mnuFileRed->trigger();
        QCOMPARE(ts->dialogs.size(), 1);
        const platform::OpenFileRequest& request = ts->dialogs[0];
        QCOMPARE(request.title, QStringLiteral("読み込むファイルを選択してください。"));
        QCOMPARE(request.nameFilters, (QStringList{"JPG 形式 (*.jpg)", "JPEG 形式 (*.jpeg)"}));
        QCOMPARE(request.initialFolder, ts->documentsFolder);
        QCOMPARE(SlideSettings.RootPath, ts->documentsFolder);
        QCOMPARE(state(), QString("Idle"));
        // A chosen file starts the show; the next dialog opens in its folder.
        ts->dialogAnswers.enqueue(pic("c.JPG"));
        form->mnuFileRed->trigger();
        QCOMPARE(state(), QString("Running"));
        QCOMPARE(form->lblCnt->text(), QStringLiteral("3 / 3"));
        QCOMPARE(SlideSettings.RootPath, pics->path());
        form->cmdPlayer[1]->click();
        ts->dialogAnswers.enqueue(pic("x.png"));
        form->mnuFileRed->trigger();
        QCOMPARE(ts->dialogs.last().initialFolder, pics->path());
        QCOMPARE(state(), QString("Stopped"));
    }

    void resizeRefitsTheShownPicture() {
        writeJpeg(pic("b.jpg"), 1600, 1200);
        start(pic("b.jpg"));
        form->cmdPlayer[1]->click();
        QWidget* client = form->centralWidget();
        form->resize(800 + form->width() - client->width(),
                     400 + form->height() - client->height());
        QCoreApplication::processEvents();
        // Area 10245 x 5425 twips: the height binds, 5125 high, 6833 wide, centred.
        const TwipsRect box = twipsOf(form->imgViewer);
        QCOMPARE(box.Height, 5125.f);
        QCOMPARE(box.Width, 6833.f);
        QCOMPARE(box.Left, 1706.f);
        QCOMPARE(box.Top, 150.f);
        QCOMPARE(form->imgViewer->picture().size(), QSize(456, 342));
        QCOMPARE(form->lblCnt->text(), QStringLiteral("2 / 3"));
    }
};

QTEST_MAIN(SlideshowTest)
#include "tst_slideshow.moc"
