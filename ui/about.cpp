#include "ui/about.h"

#include "widgets/ProgramIcon.h"

#include "core/Names.h"
#include "ui/extensioninfo.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>

namespace nimbora {

namespace {

// The dialog's own wording.
constexpr char AboutTitle[] = "About Nimbora";
// The link label shows this without its first seven characters.
constexpr char MRLinkText[] = "Visit: Nimbora project page";
constexpr char InfoLine1[] = "Live cloud cover on a turning globe.";
constexpr char InfoLine2[] = "Clouds from public weather servers.";
// Below the rest: the licence and where the pictures and lines come from. The cloud credit is
// the built-in server's, as the window shows it under its pictures.
constexpr char LicenceText[] = "Nimbora is free software under the GNU General Public License,\n"
                               "version 3 or later.";
constexpr char CreditsText[] = "Earth pictures: NASA Blue Marble. City lights: NASA Earth at Night.\n"
                               "Moon: Clementine, NASA/USGS.\n"
                               "Coastlines and boundaries: Micro World Data Bank II.\n"
                               "Clouds of the built-in server: Contains modified EUMETSAT data.";
constexpr char HomeHint[] = "Visit our home page";
constexpr char ContactHint[] = "Send us your comments or suggestions";

constexpr int LightColor[3] = {241, 240, 239};
constexpr int DarkColor[3] = {172, 167, 162}; // the text panel's colour

// The program picture: the globe with a few bands of cloud.
QPixmap ProgramPicture(qreal ratio) {
    return ProgramIcon().pixmap(QSize(128, 128), ratio);
}

// The small maker picture: a cloud.
QPixmap MakerPicture(qreal ratio) {
    QImage img(qRound(32 * ratio), qRound(32 * ratio), QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(ratio);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 130, 140), 1));
    p.setBrush(QColor(250, 250, 252));
    QPainterPath cloud;
    cloud.addEllipse(QRectF(4, 12, 14, 12));
    cloud.addEllipse(QRectF(10, 6, 14, 14));
    cloud.addEllipse(QRectF(16, 12, 13, 12));
    cloud.addRect(QRectF(10, 16, 12, 8));
    p.drawPath(cloud.simplified());
    p.end();
    return QPixmap::fromImage(img);
}

} // namespace

QImage PaintBakImage(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    QImage img(width, height, QImage::Format_RGB888);
    if (img.isNull()) return {};
    const double halfPi = std::numbers::pi / 2;
    for (int y = 0; y < height; ++y) {
        uchar* line = img.scanLine(y);
        const double fy = std::cos(y * halfPi / height);
        for (int x = 0; x < width; ++x) {
            const double f = std::cos(x * halfPi / width) * fy;
            for (int c = 0; c < 3; ++c) {
                // nearbyint rounds halves to the even neighbour.
                const double v = f * (LightColor[c] - DarkColor[c]) + DarkColor[c];
                line[x * 3 + c] = static_cast<uchar>(std::nearbyint(v));
            }
        }
    }
    return img;
}

std::string ContactAddress(const std::string& contact) {
    if (contact.empty()) return {};
    const QByteArray subject =
        QUrl::toPercentEncoding(QString("%1 %2").arg(texts::ProductName, texts::VersionText));
    const char joint = contact.find('?') == std::string::npos ? '?' : '&';
    return contact + joint + "subject=" + subject.toStdString();
}

TAboutForm::TAboutForm(QWidget* parent, const TAboutLinks& links, TLinkOpener opener)
    : QDialog(parent), Links(links), Opener(std::move(opener)) {
    FormCreate();
}

void TAboutForm::FormCreate() {
    setWindowTitle(AboutTitle);
    setModal(true);

    // Layouts place everything, so larger fonts (a 192-DPI setting, say) grow the window instead
    // of clipping its texts. At the usual density the window is 400 wide, and 170 high above the
    // licence and credits.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 6, 10, 8);
    outer->setSpacing(6);
    auto* root = new QHBoxLayout;
    root->setSpacing(4);
    outer->addLayout(root);
    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    root->addLayout(left);
    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    root->addLayout(right, 1);

    GoldPanel = new QWidget(this);
    GoldPanel->setObjectName("GoldPanel");
    GoldPanel->setGeometry(0, 0, 6, 170);
    GoldPanel->setAutoFillBackground(true);
    QPalette gold = GoldPanel->palette();
    gold.setColor(QPalette::Window, QColor(212, 175, 55));
    GoldPanel->setPalette(gold);

    ProgramImage = new QLabel(this);
    ProgramImage->setFixedSize(128, 128);
    ProgramImage->setPixmap(ProgramPicture(devicePixelRatioF()));
    left->addWidget(ProgramImage, 0, Qt::AlignHCenter | Qt::AlignTop);
    left->addStretch(1);

    MRLabel = new QLabel(this);
    MRLabel->setObjectName("MRLabel");
    MRLabel->setAlignment(Qt::AlignCenter);
    MRLabel->setText(QString("  %1  ").arg(QString(MRLinkText).mid(7)));
    MRLabel->setStyleSheet("color: #0645ad; text-decoration: underline;");
    MRLabel->setCursor(Qt::PointingHandCursor);
    QFont small = MRLabel->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    MRLabel->setFont(small);
    MRLabel->installEventFilter(this);
    left->addWidget(MRLabel, 0, Qt::AlignHCenter);

    auto* title = new QHBoxLayout;
    title->setSpacing(4);
    ProdNameLabel = new QLabel(this);
    ProdNameLabel->setObjectName("ProdNameLabel");
    QFont big = ProdNameLabel->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    ProdNameLabel->setFont(big);
    ProdNameLabel->setText(QString("  %1  ").arg(texts::ProductName));
    title->addWidget(ProdNameLabel, 1, Qt::AlignVCenter);
    MakerImage = new QLabel(this);
    MakerImage->setFixedSize(32, 32);
    MakerImage->setPixmap(MakerPicture(devicePixelRatioF()));
    title->addWidget(MakerImage, 0, Qt::AlignTop);
    right->addLayout(title, 1);

    TextPanel = new QWidget(this);
    TextPanel->setObjectName("TextPanel");
    TextPanel->setMinimumSize(250, 110);
    TextPanel->installEventFilter(this); // its background follows its size
    BakImage = new QLabel(TextPanel);
    BakImage->setObjectName("BakImage");
    BakImage->setGeometry(0, 0, 250, 110);
    auto* text = new QVBoxLayout(TextPanel);
    text->setContentsMargins(8, 4, 8, 8);
    text->setSpacing(4);

    InfoLabel = new QLabel(TextPanel);
    InfoLabel->setObjectName("InfoLabel");
    InfoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    InfoLabel->setText(QString("%1\n\n%2\n%3").arg(texts::VersionText, InfoLine1, InfoLine2));
    text->addWidget(InfoLabel);
    text->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addStretch(1);
    HomeBt = new QPushButton("Web page", TextPanel);
    HomeBt->setObjectName("HomeBt");
    HomeBt->setMinimumSize(80, 26);
    HomeBt->setToolTip(HomeHint);
    HomeBt->setToolTipDuration(10000);
    HomeBt->setDefault(true);
    connect(HomeBt, &QPushButton::clicked, this, &TAboutForm::HomeBtClick);
    ContactBt = new QPushButton("Contact", TextPanel);
    ContactBt->setObjectName("ContactBt");
    ContactBt->setMinimumSize(80, 26);
    ContactBt->setToolTip(ContactHint);
    ContactBt->setToolTipDuration(10000);
    connect(ContactBt, &QPushButton::clicked, this, &TAboutForm::ContactBtClick);
    buttons->addWidget(HomeBt);
    buttons->addWidget(ContactBt);
    text->addLayout(buttons);
    right->addWidget(TextPanel);

    CreditsLabel = new QLabel(this);
    CreditsLabel->setObjectName("CreditsLabel");
    CreditsLabel->setFont(small);
    CreditsLabel->setText(QString("%1\n\n%2").arg(LicenceText, CreditsText));
    CreditsLabel->setContentsMargins(6, 0, 0, 0);
    outer->addWidget(CreditsLabel);
    setFixedSize(outer->sizeHint().expandedTo(QSize(400, 170)));
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TAboutForm::FormShow() {
    // No blur-behind on this desktop: plain window colour and no coloured strip.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(240, 240, 240));
    setPalette(pal);
    setAutoFillBackground(true);
    GoldPanel->hide();
    PaintBackground();
}

void TAboutForm::PaintBackground() {
    // Painted at the screen's own pixels, so the shading stays smooth on dense screens.
    const qreal ratio = devicePixelRatioF();
    const QSize size = TextPanel->size();
    QImage bak = PaintBakImage(qRound(size.width() * ratio), qRound(size.height() * ratio));
    bak.setDevicePixelRatio(ratio);
    BakImage->setGeometry(TextPanel->rect());
    BakImage->setPixmap(QPixmap::fromImage(bak));
    BakImage->lower();
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == TextPanel && event->type() == QEvent::Resize) PaintBackground();
    if (watched == MRLabel && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        MRLabelClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::Open(const std::string& address) {
    if (address.empty()) return;
    // Let the click finish drawing before another program takes the focus.
    QCoreApplication::processEvents();
    if (Opener)
        Opener(address);
    else
        OpenLink(address);
}

void TAboutForm::MRLabelClick() {
    Open(Links.ProdUrl);
}

void TAboutForm::HomeBtClick() {
    Open(Links.HomeUrl);
}

void TAboutForm::ContactBtClick() {
    Open(ContactAddress(Links.HomeContact));
}

void ShowAboutDialog(QWidget* parent, const TAboutLinks& links) {
    // On the heap: should the parent go first, it takes the dialog with it.
    auto* form = new TAboutForm(parent, links);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->exec();
}

} // namespace nimbora
