#include "update/update_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <map>
#include <system_error>

#include "support/fake_ports.h"
#include "support/message_recorder.h"
#include "support/picture_side.h"
#include "support/temp_dir.h"
#include "support/test_updater.h"
#include "update/update_wait_window.h"

namespace velmora::ui {
namespace {

namespace fs = std::filesystem;
using Kind = test::MessageRecorder::Kind;
using Message = test::MessageRecorder::Message;

// What the system says of a program file that is not there (here its folder is missing too,
// which Windows reports as a path not found).
#ifdef _WIN32
const QString kNoSuchFile = QString::fromStdString(std::system_category().message(3));
#else
const QString kNoSuchFile = QStringLiteral("No such file or directory");
#endif

class UpdateDialogTest : public ::testing::Test {
protected:
    UpdateDialogTest() { QApplication::setQuitOnLastWindowClosed(false); }

    TFBootSer& dialog() {
        if (!dialog_) {
            dialog_ = std::make_unique<TFBootSer>([this] { return places; }, recorder, nullptr,
                                                  PortAccess{ports, [this] {
                                                                 ++probes;
                                                                 return listed;
                                                             }});
        }
        return *dialog_;
    }
    // Shows the instruction page, connects to `port` and goes on to the options.
    void reachOptions(const std::string& port = "COM3") {
        ports->present.insert(port);
        listed = {port};
        dialog().FormShow();
        dialog().connectButtonClick();
        dialog().nextButtonClick();
        ASSERT_TRUE(dialog().PortTested);
    }
    bool onOptionsPage() {
        return !dialog().optionsPage->isHidden() && dialog().instructionPage->isHidden();
    }

    test::TempDir dir;
    UpdatePlaces places{dir / "app", dir / "app", dir / "app" / "MASTER",
                        dir / "app" / "PROJECTS" / "Plant 1"};
    std::shared_ptr<test::FakePorts> ports = std::make_shared<test::FakePorts>();
    std::vector<std::string> listed;
    int probes = 0;
    test::MessageRecorder recorder;

private:
    std::unique_ptr<TFBootSer> dialog_;
};

TEST_F(UpdateDialogTest, HasItsCaptionSizeAndTexts) {
    TFBootSer& d = dialog();
    EXPECT_EQ(d.objectName(), "FBootSer");
    EXPECT_EQ(d.windowTitle(), "Update Firmware from Serial (RS232)");
    EXPECT_EQ(d.minimumSize(), QSize(358, 210));
    EXPECT_EQ(d.maximumSize(), QSize(358, 210));
    const std::vector<std::pair<QLabel*, QString>> lines{
        {d.title, "Follow these steps for update the QH48203 from RS232:"},
        {d.step1, "1 - Turn OFF the Device"},
        {d.step2, "2 - Insert the Boot Jumper (see the manual)"},
        {d.step3, "3 - Select the  COM port and press the connect button"},
        {d.step4, "4 - Turn ON the Device"},
        {d.step5, "5 - Check the BOOT led. It must blink quickly"},
        {d.optionsTitle, "Update Device Options"}};
    for (const auto& [label, text] : lines) EXPECT_EQ(label->text(), text);
    EXPECT_FALSE(d.CB_Com->isEditable());
    EXPECT_EQ(d.CB_Com->objectName(), "CB_Com");
    EXPECT_EQ(d.step3->buddy(), d.CB_Com);
    EXPECT_EQ(d.CB_Com->accessibleName(), d.step3->text());
    EXPECT_EQ(d.updateList->toolTip(), "Update COM Port List");
    EXPECT_EQ(d.updateList->accessibleName(), "Update COM Port List");
    for (const auto& [b, text] : std::vector<std::pair<QPushButton*, QString>>{
             {d.connectButton, "Connect"},
             {d.cancelButton, "Cancel"},
             {d.nextButton, "Next"},
             {d.executeButton, "Execute update firmware"}}) {
        EXPECT_EQ(b->text(), text);
        EXPECT_EQ(b->accessibleName(), text);
    }
    for (const auto& [box, text] :
         std::vector<std::pair<QCheckBox*, QString>>{{d.firmware, "Firmware"},
                                                     {d.readFirmware, "Read Firmware when finish"},
                                                     {d.project, "Project"},
                                                     {d.readProject, "Read Project when finish"},
                                                     {d.parameter, "Parameter"},
                                                     {d.listPgn, "List PGN"}}) {
        EXPECT_EQ(box->text(), text);
        EXPECT_TRUE(box->isChecked()) << text.toStdString();
    }
    EXPECT_TRUE(d.parameter->isHidden());
    EXPECT_TRUE(d.listPgn->isHidden());
    EXPECT_FALSE(d.hiddenRow->isEnabled());
    EXPECT_TRUE(d.optionsPage->isHidden());
    // Creating the dialog probes nothing.
    EXPECT_EQ(probes, 0);
}

TEST_F(UpdateDialogTest, NextCarriesItsPictureOnTheRightOfItsText) {
    EXPECT_EQ(test::pictureSide(*dialog().nextButton), test::PictureSide::Right);
    EXPECT_EQ(test::pictureSide(*dialog().cancelButton), test::PictureSide::Left);
}

TEST_F(UpdateDialogTest, ShowingProbesThePortsAndSelectsTheFirst) {
    listed = {"COM1", "COM12"};
    dialog().FormShow();
    ASSERT_EQ(dialog().CB_Com->count(), 2);
    EXPECT_EQ(dialog().CB_Com->itemText(1), "COM12");
    EXPECT_EQ(dialog().CB_Com->currentText(), "COM1");

    listed = {};
    dialog().updateList->click();
    EXPECT_EQ(dialog().CB_Com->count(), 0);
    EXPECT_EQ(dialog().CB_Com->currentIndex(), -1);
    EXPECT_EQ(dialog().CB_Com->currentText(), "");
    EXPECT_EQ(probes, 2);
}

TEST_F(UpdateDialogTest, ConnectOnAnEmptyListThenNextAreRefused) {
    dialog().FormShow();
    dialog().connectButton->click();
    dialog().nextButton->click();
    EXPECT_EQ(recorder.messages,
              (std::vector<Message>{{Kind::Error, "Error!! Com Port cannot be open."},
                                    {Kind::Error, "Select one port."}}));
    EXPECT_FALSE(dialog().PortTested);
    EXPECT_FALSE(onOptionsPage());
}

TEST_F(UpdateDialogTest, AConnectOpensThePortWithDtrAndAFailedOneLeavesNextRefused) {
    ports->present = {"COM1", "COM3"};
    listed = {"COM1", "COM3"};
    dialog().FormShow();
    dialog().connectButtonClick();
    EXPECT_TRUE(dialog().PortTested);
    EXPECT_TRUE(dialog().Comm1.isOpen());
    EXPECT_EQ(dialog().Comm1.DeviceName(), "COM1");
    EXPECT_EQ(ports->dtr, (std::map<std::string, bool>{{"COM1", true}}));
    EXPECT_TRUE(recorder.messages.empty());

    // Connect again on another port that rejects DTR: the first port is released first.
    ports->refuseDtr = true;
    dialog().CB_Com->setCurrentIndex(1);
    dialog().connectButtonClick();
    EXPECT_FALSE(dialog().PortTested);
    EXPECT_EQ(ports->open.size(), 1u);
    EXPECT_EQ(ports->open.begin()->second, "COM3");  // left open by the late failure
    dialog().nextButtonClick();
    EXPECT_EQ(recorder.messages,
              (std::vector<Message>{{Kind::Error, "Error!! Com Port cannot be open."},
                                    {Kind::Error, "Select one port."}}));
    EXPECT_FALSE(onOptionsPage());

    // A port that is gone since the list was made fails the same way.
    ports->refuseDtr = false;
    ports->present.erase("COM1");
    dialog().CB_Com->setCurrentIndex(0);
    dialog().connectButtonClick();
    EXPECT_FALSE(dialog().PortTested);
    EXPECT_TRUE(ports->open.empty());
}

TEST_F(UpdateDialogTest, NextShowsTheOptionsAndReleasesThePort) {
    reachOptions();
    EXPECT_TRUE(onOptionsPage());
    EXPECT_EQ(dialog().optionsPage->geometry(), QRect(0, 0, 358, 210));
    EXPECT_FALSE(dialog().Comm1.isOpen());
    EXPECT_TRUE(ports->open.empty());
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(UpdateDialogTest, ReopeningKeepsTheOptionsAndShowsTheInstructionPage) {
    reachOptions();
    dialog().firmware->setChecked(false);
    dialog().readProject->setChecked(false);
    dialog().cancelButton->click();
    dialog().FormShow();
    EXPECT_FALSE(onOptionsPage());
    EXPECT_FALSE(dialog().instructionPage->isHidden());
    EXPECT_FALSE(dialog().PortTested);
    EXPECT_EQ(probes, 2);
    EXPECT_FALSE(dialog().firmware->isChecked());
    EXPECT_TRUE(dialog().readFirmware->isChecked());
    EXPECT_TRUE(dialog().project->isChecked());
    EXPECT_FALSE(dialog().readProject->isChecked());
}

TEST_F(UpdateDialogTest, EveryWayOfClosingReleasesThePort) {
    ports->present = {"COM3"};
    listed = {"COM3"};
    const std::vector<std::function<void(TFBootSer&)>> closings{
        [](TFBootSer& d) { d.cancelButton->click(); },
        [](TFBootSer& d) { d.close(); },
        [](TFBootSer& d) { d.accept(); },
    };
    for (const auto& closeDialog : closings) {
        dialog().show();
        dialog().connectButtonClick();
        ASSERT_TRUE(dialog().Comm1.isOpen());
        closeDialog(dialog());
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_FALSE(dialog().Comm1.isOpen());
    }
    EXPECT_TRUE(ports->open.empty());
}

TEST_F(UpdateDialogTest, ExecuteStartsTheUpdaterWithTheOptionsOfTheMoment) {
    fs::create_directories(places.appDir);
    const fs::path program = test::installTestUpdater(places.appDir);
    reachOptions("/dev/ttyUSB0");
    dialog().firmware->setChecked(false);
    dialog().executeButton->click();
    const std::string master = (places.masterDir / "sim48203.sim").string();
    const std::string bin =
        (places.projectDir / "bin").string() + char(fs::path::preferred_separator);
    EXPECT_EQ(test::recordedArguments(program),
              (std::vector<std::string>{"/dev/ttyUSB0", "NO", "FR", "PW", "PR", master, bin}));

    dialog().firmware->setChecked(true);
    dialog().readProject->setChecked(false);
    dialog().executeButtonClick();
    EXPECT_EQ(test::recordedArguments(program),
              (std::vector<std::string>{"/dev/ttyUSB0", "FW", "FR", "PW", "NO", master, bin}));

    // Each box sets its own word: only "Read Firmware when finish" unchecked.
    dialog().readProject->setChecked(true);
    dialog().readFirmware->setChecked(false);
    dialog().executeButtonClick();
    EXPECT_EQ(test::recordedArguments(program),
              (std::vector<std::string>{"/dev/ttyUSB0", "FW", "NO", "PW", "PR", master, bin}));
    EXPECT_EQ(test::recordedRuns(program), 3);
    EXPECT_TRUE(onOptionsPage());
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_FALSE(dialog().waitWindow->isVisible());
}

TEST_F(UpdateDialogTest, AnUpdaterThatCannotStartIsShownWithItsPathAndReason) {
    reachOptions();
    dialog().executeButtonClick();
    const QString program = QString::fromStdString(updaterProgram(places.appDir).string());
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].kind, Kind::Error);
    EXPECT_EQ(
        recorder.messages[0].text.toStdString(),
        ("The updater program " + program + " cannot be started: " + kNoSuchFile).toStdString());
    EXPECT_TRUE(onOptionsPage());
    EXPECT_FALSE(dialog().waitWindow->isVisible());
}

TEST(UpdateWaitWindowTest, NeitherTheCloseBoxNorEscapeEndsTheWait) {
    UpdateWaitWindow w;
    w.begin("Ser_48203_Update", std::chrono::seconds(150));
    EXPECT_FALSE(w.close());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    w.end();
    EXPECT_FALSE(w.isVisible());
}

// The wait window holds back input from every other window of the application, not only from
// the one it belongs to: nothing here is modal but the wait window, and the check boxes it keeps
// from the click are watched by no command guard.
TEST(UpdateWaitWindowTest, TakesInputFromEveryOtherWindowUntilTheUpdaterEnds) {
    test::TempDir dir;
    const fs::path program = test::installTestUpdater(dir.path());
    test::ScopedEnv linger("VELMORA_TEST_UPDATER_LINGER_MS", "800");
    QWidget owner, other;
    QCheckBox ownerBox(QStringLiteral("Owner"), &owner), otherBox(QStringLiteral("Other"), &other);
    for (QWidget* w : {&owner, &other}) {
        w->resize(120, 40);
        w->show();
    }
    const auto click = [](QCheckBox& box) {
        // Through the window system, where modality is applied.
        QTest::mouseClick(box.window()->windowHandle(), Qt::LeftButton, {},
                          box.mapTo(box.window(), QPoint(8, 8)));
    };
    UpdateWaitWindow waitWindow(&owner);
    bool ownerDuring = true, otherDuring = true;
    QTimer::singleShot(300, [&] {
        click(ownerBox);
        click(otherBox);
        ownerDuring = ownerBox.isChecked();
        otherDuring = otherBox.isChecked();
    });
    UpdaterProcess process(program,
                           updaterArguments("COM3", {true, true, true, true}, "MASTER", "P"));
    EXPECT_TRUE(waitWindow.wait(process, "Ser_48203_Update", std::chrono::seconds(60)).ended);
    EXPECT_FALSE(ownerDuring);
    EXPECT_FALSE(otherDuring);

    // Once the wait is over the same clicks reach both.
    click(ownerBox);
    click(otherBox);
    EXPECT_TRUE(ownerBox.isChecked());
    EXPECT_TRUE(otherBox.isChecked());
}

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

TEST_F(UpdateDialogTest, DuringTheWaitTheWaitWindowPaintsAndTakesInputFromTheOthers) {
    fs::create_directories(places.appDir);
    const fs::path program = test::installTestUpdater(places.appDir);
    test::ScopedEnv linger("VELMORA_TEST_UPDATER_LINGER_MS", "1400");
    ports->present = {"COM3"};
    listed = {"COM3"};
    dialog().show();
    dialog().connectButtonClick();
    dialog().nextButtonClick();
    PaintCounter counter;
    dialog().waitWindow->Elapsed->installEventFilter(&counter);

    struct During {
        bool windowShown = false;
        bool modal = false;
        QString updater, elapsed;
        int progress = -1, maximum = -1;
        bool dialogStayed = false;
        bool firmwareBefore = false, firmwareAfter = false;
    } during;
    QTimer::singleShot(1200, [&] {
        UpdateWaitWindow* w = dialog().waitWindow;
        during.windowShown = w->isVisible();
        during.modal = QApplication::activeModalWidget() == w;
        during.updater = w->Updater->text();
        during.elapsed = w->Elapsed->text();
        during.progress = w->Progress->value();
        during.maximum = w->Progress->maximum();
        // The wait window alone takes input: a click on a check box beneath (which no
        // command guard watches) does not reach it. The dialog cannot be closed.
        during.firmwareBefore = dialog().firmware->isChecked();
        // Through the window system, where modality is applied (a click sent to the widget
        // itself would skip it).
        QTest::mouseClick(dialog().windowHandle(), Qt::LeftButton, {},
                          dialog().firmware->mapTo(&dialog(), QPoint(8, 8)));
        during.firmwareAfter = dialog().firmware->isChecked();
        dialog().close();
        during.dialogStayed = dialog().isVisible();
    });
    dialog().executeButtonClick();

    EXPECT_TRUE(during.windowShown);
    EXPECT_TRUE(during.modal);
    EXPECT_EQ(during.updater,
              "Waiting for " +
                  QString::fromStdString(updaterProgram(places.appDir).filename().string()) +
                  " to end.");
    EXPECT_EQ(during.elapsed, "1 of 150 seconds");
    EXPECT_EQ(during.progress, 1);
    EXPECT_EQ(during.maximum, 150);
    EXPECT_TRUE(during.dialogStayed);
    EXPECT_EQ(during.firmwareAfter, during.firmwareBefore);
    EXPECT_GT(counter.paints, 0);
    EXPECT_EQ(test::recordedRuns(program), 1);
    EXPECT_FALSE(dialog().waitWindow->isVisible());
    EXPECT_TRUE(dialog().isVisible());
    dialog().close();
}

}  // namespace
}  // namespace velmora::ui
