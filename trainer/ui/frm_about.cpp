#include "trainer/ui/frm_about.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

#include "trainer/ui/controls.h"
#include "trainer/ui/home_page.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

namespace tapmora {
namespace {

constexpr QSize kClientSize(twips(5730), twips(3555));

QLabel *addBlackLabel(QWidget *parent, const char *name, const QString &text, QRect place) {
    QLabel *label = addLabel(parent, name, text, place);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

// Shows an address too long for its box with its middle left out; the text
// it holds, which a click opens, stays whole.
class LinkLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QRect box = contentsRect();
        style()->drawItemText(&painter, box, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideMiddle, box.width()),
                              foregroundRole());
    }
};

// The home page address as a link: blue, underlined, on the menu colour,
// with the up-arrow pointer. A click opens the text it holds at that moment.
QLabel *addLink(QWidget *parent, const char *name, QRect place) {
    const QString address = homePageAddress();
    auto *link = named(new LinkLabel(address, parent), name);
    link->setGeometry(place);
    link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    link->setToolTip(address);
    QFont font = msPGothic(9);
    font.setUnderline(true);
    link->setFont(font);
    QPalette palette = link->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    palette.setColor(QPalette::Window, QApplication::palette("QMenu").color(QPalette::Window));
    link->setPalette(palette);
    link->setAutoFillBackground(true);
    link->setCursor(Qt::UpArrowCursor);
    return link;
}

}  // namespace

FrmAbout::FrmAbout(TrainerApp &app)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      app_(app) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(texts::about::kCaption.toString());
    setWindowIcon(programIcon());
    setFixedSize(kClientSize);

    auto *okButton = addButton(this, "cmdOK", texts::about::kOk, twipsRect(4245, 2640, 1380, 345));
    okButton->setDefault(true);
    addPicture(this, "picIcon", QStringLiteral("icon"), twipsRect(240, 240, 540, 540));
    auto *description = addBlackLabel(this, "lblDescription", texts::about::description(),
                                      twipsRect(1080, 1440, 3885, 930));
    auto *disclaimer = addBlackLabel(this, "lblDisclaimer", texts::about::kDisclaimer.toString(),
                                     twipsRect(255, 2625, 3870, 585));
    auto *version = addLabel(this, "lblVersion", texts::about::kVersion.toString(),
                             twipsRect(1080, 1200, 3885, 225));
    addPicture(this, "Picture1", QStringLiteral("banner"), twipsRect(1080, 0, 4335, 1095));
    homePageLink_ = addLink(this, "Text1", twipsRect(240, 3240, 3855, 180));
    homePageLink_->installEventFilter(this);
    // The description's fifth line and the link's underline need a pixel or
    // two below their boxes; each box has that room before the next control.
    for (QLabel *text : {description, disclaimer, version, homePageLink_}) makeRoomForText(text);
    auto *thanksButton =
        addButton(this, "Command1", texts::about::kThanksButton, twipsRect(4200, 3120, 1455, 375));

    // An engraved separator: a grey line with a white one just below it.
    addLine(this, "Line1", QLine(120, 2445, 5684, 2445), QColor(128, 128, 128))
        ->setProperty("index", 1);
    addLine(this, "Line1", QLine(105, 2460, 5654, 2460), Qt::white, 2)->setProperty("index", 0);

    setTabOrder(okButton, thanksButton);

    connect(okButton, &QPushButton::clicked, this, &FrmAbout::ok);
    connect(thanksButton, &QPushButton::clicked, this, [this] {
        app_.services().message(this, texts::about::kThanksTitle.toString(),
                                texts::about::kThanks.toString(), QMessageBox::NoIcon);
    });
}

void FrmAbout::ok() {
    // Showing the main window first keeps the program alive when this is its
    // only open window.
    app_.showMainWindow();
    close();
}

bool FrmAbout::eventFilter(QObject *watched, QEvent *event) {
    if (watched == homePageLink_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        app_.services().openUrl(QUrl(homePageLink_->text()));
    return QDialog::eventFilter(watched, event);
}

void FrmAbout::keyPressEvent(QKeyEvent *event) {
    // Escape means OK here, which also brings the main window back.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ok();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tapmora
