// The installer's windows, driven through whole installer runs by real key
// and mouse events: the destination dialog, the folder browser, the progress
// dialog and the message boxes.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "cab/writer/writer.h"
#include "sfx/extract.h"
#include "sfx/installer.h"
#include "sfx/messages.h"
#include "sfx/platform.h"
#include "sfx/qt/destination_window.h"
#include "sfx/qt/display.h"
#include "sfx/qt/path_line.h"
#include "sfx/qt/progress_window.h"
#include "sfx/qt/qt_ui.h"
#include "sfx/session.h"
#include "sfx/settings.h"
#include "sfx/sfx_writer.h"
#include "sfx/strings.h"
#include "sfx/tests/test_support.h"

namespace {

// A message box as the test saw it.
struct SeenMessage {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool has_owner = false;
    bool owned_by_progress = false;
};

// Acts on the installer's modal windows as they come up: on every pass of
// the event loop (the installer's own modal loops and the progress dialog's
// drain alike) the first step is offered the active modal window and is
// dropped once it reports that it has done its part. Actions that open a
// window of their own are posted with later(), so that the script keeps
// running inside that window's loop.
class Script {
public:
    using Step = std::function<bool(QWidget *active)>;

    Script() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start();
        clock_.start();
    }

    void add(Step step) { steps_.push_back(std::move(step)); }
    bool finished() const { return steps_.empty(); }

private:
    void tick() {
        if (clock_.elapsed() > kStallLimit)
            qFatal("script stalled with %zu steps left", steps_.size());
        QWidget *active = QApplication::activeModalWidget();
        if (active == nullptr || steps_.empty()) return;
        if (steps_.front()(active)) {
            steps_.pop_front();
            clock_.restart();
        }
    }

    static constexpr qint64 kStallLimit = 15000;  // milliseconds without a step done

    QTimer timer_;
    QElapsedTimer clock_;
    std::deque<Step> steps_;
};

void later(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

// A step acting on the active window when it is a W and has the keyboard
// focus, as a user's keys would reach it. The offscreen platform has no
// window manager to give the focus back to a dialog when a message box over
// it closes, so the step asks for it.
template <class W>
Script::Step on(std::function<void(W *)> action) {
    return [action](QWidget *active) {
        auto *window = dynamic_cast<W *>(active);
        if (window == nullptr) return false;
        if (!window->isActiveWindow()) {
            window->activateWindow();
            return false;
        }
        action(window);
        return true;
    };
}

template <class T>
T *control(QWidget *window, const char *name) {
    auto *found = window->findChild<T *>(QString::fromLatin1(name));
    if (found == nullptr) qFatal("no control %s", name);
    return found;
}

QPushButton *button(QWidget *window, const char *name) {
    return control<QPushButton>(window, name);
}
QLineEdit *folder_field(QWidget *window) { return control<QLineEdit>(window, "folder_field"); }

// Types `text` into the folder field and presses Confirm.
void confirm_with(QWidget *dialog, const QString &text) {
    folder_field(dialog)->clear();
    QTest::keyClicks(folder_field(dialog), text);
    later([dialog] { QTest::mouseClick(button(dialog, "confirm"), Qt::LeftButton); });
}

// Records the message box and presses its `answer` button.
Script::Step answer_message(QMessageBox::StandardButton answer, SeenMessage *seen = nullptr) {
    return on<QMessageBox>([answer, seen](QMessageBox *box) {
        if (seen != nullptr) {
            QWidget *owner = box->parentWidget();
            // The caption as the window system shows it.
            const QString caption = box->windowHandle()->title();
            *seen = {caption, box->text(), box->icon(), owner != nullptr,
                     dynamic_cast<sfx::ProgressWindow *>(owner) != nullptr};
        }
        QAbstractButton *chosen = box->button(answer);
        if (chosen == nullptr)
            qFatal("message box without the expected button: %s", qPrintable(box->text()));
        later([chosen] { QTest::mouseClick(chosen, Qt::LeftButton); });
    });
}

// A listening local socket, standing in for a display server.
class ListeningSocket {
public:
    explicit ListeningSocket(const std::string &path) : fd_(socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(fd_, 1) != 0) {
            qFatal("cannot listen on %s", path.c_str());
        }
    }
    ~ListeningSocket() { close(fd_); }

private:
    int fd_;
};

// Sets environment variables for the lifetime of the object.
class Environment {
public:
    ~Environment() {
        for (auto entry = saved_.rbegin(); entry != saved_.rend(); ++entry) {
            if (entry->second.isNull())
                qunsetenv(entry->first);
            else
                qputenv(entry->first, entry->second);
        }
    }
    void set(const char *name, const QByteArray &value) {
        saved_.emplace_back(name, qgetenv(name));
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private:
    std::vector<std::pair<const char *, QByteArray>> saved_;
};

using sfxtest::file_entry;

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString start_folder_ = QDir::currentPath();
    sfx::QtUi ui_;
    // A fresh session for every test, bound while it runs.
    std::unique_ptr<sfx::Session> session_;
    std::unique_ptr<sfx::SessionScope> bound_;

    std::string path(const QString &name) const { return dir_.filePath(name).toStdString(); }
    std::string installer() const { return path(QStringLiteral("setup-sfx")); }

    void write_installer(const std::vector<cabwriter::FileEntry> &files,
                         const sfx::SfxBlock &block) {
        sfxtest::write_installer_file(installer(), sfxtest::make_cabinet(files), block);
    }

    void write_installer(const std::string &options) {
        sfx::SfxBlock block;
        block.options = options;
        write_installer({file_entry("a.txt", "alpha"), file_entry("b.txt", "beta"),
                         file_entry("c.txt", "gamma")},
                        block);
    }

    // Runs the installer with the Qt front end and the script; returns its
    // exit code.
    int run(Script &script, const std::vector<std::string> &arguments = {}) {
        const int code = sfxtest::run_installer_to_exit(
            *session_, {installer(), dir_.path().toStdString(), arguments});
        if (!script.finished()) qWarning("the run ended before the script");
        return code;
    }

    bool exists(const QString &name) const { return QFile::exists(dir_.filePath(name)); }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        // Relative destinations land in the scratch folder.
        QDir::setCurrent(dir_.path());
        session_ = std::make_unique<sfx::Session>();
        sfxtest::use_test_front_end(*session_, ui_);
        bound_ = std::make_unique<sfx::SessionScope>(*session_);
    }

    void cleanup() {
        QDir::setCurrent(start_folder_);
        bound_.reset();
        session_.reset();
    }

    // Built-in caption and label; 1009 quotes the label without its
    // suffix, 1010 refuses each bad name, a good (relative) name is taken
    // as typed and used.
    void destinationChecksTheTypedFolder() {
        write_installer("-A");
        Script script;
        SeenMessage empty_field;
        std::vector<SeenMessage> refusals(4);
        script.add(on<sfx::DestinationWindow>([](sfx::DestinationWindow *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("CAB Self Decompression"));
            QCOMPARE(control<QLabel>(dialog, "folder_label")->text(),
                     QStringLiteral("Decompress Destination Folder(&T):"));
            QCOMPARE(dialog->focusWidget(), folder_field(dialog));
            QVERIFY(button(dialog, "confirm")->isDefault());
            const QRect screen = dialog->screen()->geometry();
            QCOMPARE(dialog->frameGeometry().topLeft(),
                     QPoint((screen.width() - dialog->frameGeometry().width()) / 2,
                            (screen.height() - dialog->frameGeometry().height()) / 2));
            // Alt+T leads from the Cancel button back to the field.
            button(dialog, "cancel")->setFocus();
            QTest::keyClick(dialog, Qt::Key_T, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), folder_field(dialog));
            confirm_with(dialog, QString());
        }));
        script.add(answer_message(QMessageBox::Ok, &empty_field));
        const QString rejected[] = {QStringLiteral("/a//b"), QStringLiteral("C:\\a|b"),
                                    QStringLiteral("C:\\a\"b"), QStringLiteral("C:\\a\\b*")};
        for (size_t i = 0; i < std::size(rejected); ++i) {
            script.add(
                on<sfx::DestinationWindow>([name = rejected[i]](sfx::DestinationWindow *dialog) {
                    confirm_with(dialog, name);
                }));
            script.add(answer_message(QMessageBox::Ok, &refusals[i]));
        }
        script.add(on<sfx::DestinationWindow>([](sfx::DestinationWindow *dialog) {
            folder_field(dialog)->setText(QStringLiteral("out/sub"));
            later([dialog] { QTest::keyClick(folder_field(dialog), Qt::Key_Return); });
        }));
        script.add(answer_message(QMessageBox::Ok));  // 1002, success

        QCOMPARE(run(script), 0);
        QCOMPARE(empty_field.caption, QStringLiteral("Pelmar Self Decompression"));
        QCOMPARE(empty_field.text, QStringLiteral("Please use \"Decompress Destination Folder\"\n"
                                                  "as the decompress destination folder."));
        QVERIFY(!empty_field.has_owner);
        QCOMPARE(empty_field.icon, QMessageBox::Information);
        for (size_t i = 0; i < std::size(rejected); ++i) {
            QVERIFY2(refusals[i].text.startsWith(QStringLiteral("The \"%1\"\n").arg(rejected[i])),
                     qPrintable(rejected[i]));
        }
        QVERIFY(exists(QStringLiteral("out/sub/c.txt")));
    }

    // The block's title and message in Japanese; Esc cancels the run.
    void destinationShowsTheBlockTextsAndEscCancels() {
        session_->language = sfx::Language::Japanese;
        sfx::SfxBlock block;
        block.title = "Tapmora.EXE自己解凍ダイアログ";
        block.message = "解凍先フォルダの指定";
        write_installer({file_entry("a.txt", "alpha")}, block);
        Script script;
        SeenMessage empty_field, cancelled;
        script.add(on<sfx::DestinationWindow>([](sfx::DestinationWindow *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Tapmora.EXE自己解凍ダイアログ"));
            QCOMPARE(control<QLabel>(dialog, "folder_label")->text(),
                     QStringLiteral("解凍先フォルダの指定(&T):"));
            confirm_with(dialog, QString());
        }));
        script.add(answer_message(QMessageBox::Ok, &empty_field));
        script.add(on<sfx::DestinationWindow>([](sfx::DestinationWindow *dialog) {
            later([dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
        }));
        script.add(answer_message(QMessageBox::Ok, &cancelled));

        QCOMPARE(run(script), 1);
        QCOMPARE(empty_field.text,
                 QStringLiteral("\"解凍先フォルダの指定\"\nに解凍先のフォルダを指定してください."));
        QCOMPARE(cancelled.text, QStringLiteral("解凍は中断されました."));
        QCOMPARE(cancelled.icon, QMessageBox::Critical);
    }

    // Browse opens at the typed folder and puts the choice into the field;
    // a cancelled browse leaves the field alone; a folder yet to be made
    // opens the browser at its nearest existing parent. The close box
    // cancels.
    void browseFillsTheFieldUnlessCancelled() {
        write_installer("");
        const QString start = dir_.filePath(QStringLiteral("start"));
        const QString chosen = dir_.filePath(QStringLiteral("start/chosen"));
        QDir().mkpath(chosen);
        Script script;
        QString opened_at, after_choice, after_cancel, opened_below;
        script.add(on<sfx::DestinationWindow>([start](sfx::DestinationWindow *dialog) {
            folder_field(dialog)->setText(start);
            later([dialog] { QTest::mouseClick(button(dialog, "browse"), Qt::LeftButton); });
        }));
        script.add(on<QFileDialog>([&opened_at, chosen](QFileDialog *browser) {
            opened_at = browser->directory().absolutePath();
            browser->setDirectory(chosen);
            QMetaObject::invokeMethod(browser, "accept", Qt::QueuedConnection);
        }));
        script.add(on<sfx::DestinationWindow>([&after_choice](sfx::DestinationWindow *dialog) {
            after_choice = folder_field(dialog)->text();
            later([dialog] {
                QTest::keyClick(button(dialog, "browse"), Qt::Key_R, Qt::AltModifier);
            });
        }));
        script.add(
            on<QFileDialog>([](QFileDialog *browser) { later([browser] { browser->reject(); }); }));
        script.add(on<sfx::DestinationWindow>([&after_cancel](sfx::DestinationWindow *dialog) {
            after_cancel = folder_field(dialog)->text();
            folder_field(dialog)->setText(after_cancel + QStringLiteral("/not/yet"));
            later([dialog] { QTest::mouseClick(button(dialog, "browse"), Qt::LeftButton); });
        }));
        script.add(on<QFileDialog>([&opened_below](QFileDialog *browser) {
            opened_below = browser->directory().absolutePath();
            later([browser] { browser->reject(); });
        }));
        script.add(on<sfx::DestinationWindow>([](sfx::DestinationWindow *dialog) {
            later([dialog] { dialog->close(); });  // the close box
        }));
        script.add(answer_message(QMessageBox::Ok));  // 1012

        QCOMPARE(run(script), 1);
        QCOMPARE(opened_at, start);
        QCOMPARE(after_choice, chosen);
        QCOMPARE(after_cancel, chosen);
        QCOMPARE(opened_below, chosen);  // the nearest folder that exists
    }

    // The archive line shows the installer, the file line each file, and the
    // bar ends at the total.
    void progressShowsTheCabinetAndEachFile() {
        const QString out = dir_.filePath(QStringLiteral("out"));
        write_installer("-! -D\"" + out.toStdString() + "\"");
        Script script;
        QString archive;
        QStringList files;
        bool bar_full = false;
        bool connected = false;
        script.add([&](QWidget *active) {
            auto *window = dynamic_cast<sfx::ProgressWindow *>(active);
            if (window == nullptr) return files.size() > 0;  // the dialog has closed
            if (!connected) {
                connected = true;
                QObject::connect(window, &QDialog::finished, [&bar_full, window] {
                    auto *bar = control<QProgressBar>(window, "progress_bar");
                    bar_full = bar->value() == bar->maximum();
                });
            }
            archive = control<sfx::PathLine>(window, "archive_file")->text();
            const QString file = control<sfx::PathLine>(window, "extracted_file")->text();
            if (!file.isEmpty() && !files.contains(file)) files << file;
            return false;
        });
        script.add(answer_message(QMessageBox::Ok));  // 1002

        QCOMPARE(run(script), 0);
        QCOMPARE(archive, QString::fromStdString(installer()));
        QCOMPARE(files, QStringList({out + "/a.txt", out + "/b.txt", out + "/c.txt"}));
        QVERIFY(bar_full);
    }

    // Cancel clicked while the first file starts: that file is written and
    // the run stops at the next start.
    void cancelStopsAtTheNextFileStart() {
        const QString out = dir_.filePath(QStringLiteral("out"));
        write_installer("-! -D\"" + out.toStdString() + "\"");
        Script script;
        SeenMessage failure;
        script.add(on<sfx::ProgressWindow>([](sfx::ProgressWindow *) {}));  // on screen
        script.add([](QWidget *active) {
            auto *window = dynamic_cast<sfx::ProgressWindow *>(active);
            if (window == nullptr) return false;
            if (!control<sfx::PathLine>(window, "extracted_file")->text().endsWith("a.txt"))
                return false;
            QTest::mouseClick(button(window, "cancel"), Qt::LeftButton);
            return true;
        });
        script.add(answer_message(QMessageBox::Ok, &failure));

        QCOMPARE(run(script), 1);
        QVERIFY(exists(QStringLiteral("out/a.txt")));
        QVERIFY(!exists(QStringLiteral("out/b.txt")));
        QVERIFY(!exists(QStringLiteral("out/c.txt")));
        QCOMPARE(failure.text,
                 QStringLiteral("The decompression process could not shut down properly."));
        QVERIFY(!failure.has_owner);  // shown after the dialog has closed
    }

    // A question raised during extraction belongs to the progress dialog.
    void messagesDuringExtractionAreOwnedByTheDialog() {
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        std::ofstream((out + "/b.txt").toStdString()) << "old";
        write_installer("-! -D\"" + out.toStdString() + "\"");
        Script script;
        SeenMessage question;
        QMessageBox::StandardButton default_button = QMessageBox::NoButton;
        script.add(on<QMessageBox>([&default_button](QMessageBox *box) {
            default_button = box->standardButton(box->defaultButton());
        }));
        script.add(answer_message(QMessageBox::Yes, &question));
        script.add(answer_message(QMessageBox::Ok));  // 1002

        QCOMPARE(run(script), 0);
        QVERIFY(question.owned_by_progress);
        QCOMPARE(question.caption, QStringLiteral("Duplicated File Overwrite Confirmation"));
        QCOMPARE(question.icon, QMessageBox::Question);
        QCOMPARE(default_button, QMessageBox::Yes);
        QFile replaced(QString::fromStdString(out.toStdString() + "/b.txt"));
        QVERIFY(replaced.open(QIODevice::ReadOnly));
        QCOMPARE(replaced.readAll(), QByteArray("beta"));
    }

    // Every style's buttons answer with their Win32 ids; texts stay plain.
    void messageBoxesAnswerWithWin32Ids() {
        struct Case {
            uint32_t style;
            QMessageBox::StandardButton press;
            int expected;
        };
        const Case cases[] = {
            {sfx::SFX_MB_OK | sfx::SFX_MB_ICONERROR, QMessageBox::Ok, sfx::SFX_IDOK},
            {sfx::SFX_MB_OKCANCEL, QMessageBox::Cancel, sfx::SFX_IDCANCEL},
            {sfx::SFX_MB_YESNO, QMessageBox::No, sfx::SFX_IDNO},
            {sfx::SFX_MB_YESNOCANCEL, QMessageBox::Yes, sfx::SFX_IDYES},
        };
        for (const Case &c : cases) {
            Script script;
            SeenMessage seen;
            script.add(answer_message(c.press, &seen));
            const int answer =
                ui_.message_box(c.style, "a [*] b", "<b>a</b>\r\nb", sfx::MessageOwner::None);
            QCOMPARE(answer, c.expected);
            QCOMPARE(seen.caption, QStringLiteral("a [*] b"));
            QCOMPARE(seen.text, QStringLiteral("<b>a</b>\nb"));
        }
        // Esc answers Cancel where there is one.
        Script script;
        script.add(on<QMessageBox>(
            [](QMessageBox *box) { later([box] { QTest::keyClick(box, Qt::Key_Escape); }); }));
        QCOMPARE(ui_.message_box(sfx::SFX_MB_OKCANCEL, "c", "t", sfx::MessageOwner::None),
                 sfx::SFX_IDCANCEL);
    }

    // Esc answers a box that has Cancel, or OK alone, with that button. A
    // Yes/No box ignores Esc and its close box and waits for an answer.
    void escapeAnswersOnlyBoxesWithCancelOrOk() {
        const std::pair<uint32_t, int> escapable[] = {
            {sfx::SFX_MB_OK, sfx::SFX_IDOK},
            {sfx::SFX_MB_OKCANCEL, sfx::SFX_IDCANCEL},
            {sfx::SFX_MB_YESNOCANCEL, sfx::SFX_IDCANCEL},
        };
        for (const auto &[style, expected] : escapable) {
            Script script;
            script.add(on<QMessageBox>([](QMessageBox *) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            }));
            QCOMPARE(ui_.message_box(style, "c", "t", sfx::MessageOwner::None), expected);
        }
        Script script;
        bool open_after_escape = false;
        bool open_after_close = false;
        script.add(on<QMessageBox>([&](QMessageBox *box) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            open_after_escape = box->isVisible();
            box->close();
            open_after_close = box->isVisible();
            later([box = QPointer<QMessageBox>(box)] {
                if (box) QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
            });
        }));
        const int answer =
            ui_.message_box(sfx::SFX_MB_YESNO | sfx::SFX_MB_ICONQUESTION, "c",
                            "Should the file \"setup\" be executed?", sfx::MessageOwner::None);
        QVERIFY(open_after_escape);
        QVERIFY(open_after_close);
        QCOMPARE(answer, sfx::SFX_IDYES);
    }

    // A typed folder beginning with "~/" lies in the home folder.
    void destinationExpandsALeadingTilde() {
        Environment environment;
        environment.set("HOME", dir_.filePath(QStringLiteral("home")).toUtf8());
        write_installer("-R");
        Script script;
        script.add(on<sfx::DestinationWindow>([](sfx::DestinationWindow *dialog) {
            confirm_with(dialog, QStringLiteral("~/inst"));
        }));
        QCOMPARE(run(script), 0);
        QVERIFY(exists(QStringLiteral("home/inst/a.txt")));
        QVERIFY(!exists(QStringLiteral("~")));
    }

    // Windows are chosen only for a display that answers, and never when
    // the terminal is asked for.
    void displayIsUsedOnlyWhenItAnswers() {
        const std::string socket_path = path(QStringLiteral("wayland-test"));
        ListeningSocket server(socket_path);
        Environment environment;
        environment.set("WAYLAND_DISPLAY", QByteArray());
        environment.set("DISPLAY", ":4242");
        QVERIFY2(sfx::DisplayProbe().server() == sfx::DisplayServer::None,
                 "a display nobody serves");
        environment.set("DISPLAY", "no display");
        QVERIFY2(sfx::DisplayProbe().server() == sfx::DisplayServer::None, "a malformed address");
        environment.set("WAYLAND_DISPLAY", QByteArray::fromStdString(socket_path));
        QVERIFY2(sfx::DisplayProbe().server() == sfx::DisplayServer::Wayland, "a serving display");
        environment.set("PELMARSELF_UI", "windows");
        QVERIFY(!sfx::terminal_requested());
        environment.set("PELMARSELF_UI", "terminal");
        QVERIFY(sfx::terminal_requested());
    }

    // The bar follows the written bytes at file starts and at most every
    // repaint interval in between; huge totals and overruns stay in range.
    void progressBarUpdatesSparingly() {
        const sfx::Extraction extraction{[] { return true; }, [] {}};
        sfx::ProgressWindow window(sfx::ProgressDialog{"caption", "archive", "file", "cancel"},
                                   extraction);
        auto *bar = control<QProgressBar>(&window, "progress_bar");
        window.show_progress(50, 100);
        QCOMPARE(bar->value(), 500);
        window.show_progress(60, 100);
        QCOMPARE(bar->value(), 500);
        window.show_file("next");
        QCOMPARE(bar->value(), 600);
        QTest::qWait(sfx::ProgressWindow::kRepaintInterval + 50);
        window.show_progress(3'000'000'000'000, 6'000'000'000'000);
        QCOMPARE(bar->value(), 500);
        window.show_file("last");
        window.show_progress(200, 100);
        window.show_file("after");
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
