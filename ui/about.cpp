#include "ui/about.h"

#include "ui/ProgramIcon.h"

#include "core/Names.h"
#include "ui/extensioninfo.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QUrl>

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
constexpr char HomeHint[] = "Visit our home page";
constexpr char ContactHint[] = "Send us your comments or suggestions";

constexpr int LightColor[3] = {241, 240, 239};
constexpr int DarkColor[3] = {172, 167, 162}; // the text panel's colour

// The program picture: the globe with a few bands of cloud.
QPixmap ProgramPicture() {
    return ProgramIcon().pixmap(QSize(128, 128));
}

// The small maker picture: a cloud.
QPixmap MakerPicture() {
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
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
    setFixedSize(400, 170);

    GoldPanel = new QWidget(this);
    GoldPanel->setObjectName("GoldPanel");
    GoldPanel->setGeometry(0, 0, 6, 170);
    GoldPanel->setAutoFillBackground(true);
    QPalette gold = GoldPanel->palette();
    gold.setColor(QPalette::Window, QColor(212, 175, 55));
    GoldPanel->setPalette(gold);

    ProgramImage = new QLabel(this);
    ProgramImage->setGeometry(8, 6, 128, 128);
    ProgramImage->setPixmap(ProgramPicture());

    MRLabel = new QLabel(this);
    MRLabel->setObjectName("MRLabel");
    MRLabel->setGeometry(0, 140, 144, 22);
    MRLabel->setAlignment(Qt::AlignCenter);
    MRLabel->setText(QString("  %1  ").arg(QString(MRLinkText).mid(7)));
    MRLabel->setStyleSheet("color: #0645ad; text-decoration: underline;");
    MRLabel->setCursor(Qt::PointingHandCursor);
    QFont small = MRLabel->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    MRLabel->setFont(small);
    MRLabel->installEventFilter(this);

    ProdNameLabel = new QLabel(this);
    ProdNameLabel->setObjectName("ProdNameLabel");
    ProdNameLabel->setGeometry(140, 8, 210, 32);
    QFont big = ProdNameLabel->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    ProdNameLabel->setFont(big);
    ProdNameLabel->setText(QString("  %1  ").arg(texts::ProductName));

    MakerImage = new QLabel(this);
    MakerImage->setGeometry(360, 6, 32, 32);
    MakerImage->setPixmap(MakerPicture());

    TextPanel = new QWidget(this);
    TextPanel->setGeometry(140, 50, 250, 110);
    BakImage = new QLabel(TextPanel);
    BakImage->setObjectName("BakImage");
    BakImage->setGeometry(0, 0, 250, 110);

    InfoLabel = new QLabel(TextPanel);
    InfoLabel->setObjectName("InfoLabel");
    InfoLabel->setGeometry(8, 4, 234, 70);
    InfoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    InfoLabel->setWordWrap(true);
    InfoLabel->setText(QString("%1\n\n%2\n%3").arg(texts::VersionText, InfoLine1, InfoLine2));

    ContactBt = new QPushButton("Contact", TextPanel);
    ContactBt->setObjectName("ContactBt");
    ContactBt->setGeometry(250 - 8 - 80, 110 - 8 - 26, 80, 26);
    ContactBt->setToolTip(ContactHint);
    ContactBt->setToolTipDuration(10000);
    connect(ContactBt, &QPushButton::clicked, this, &TAboutForm::ContactBtClick);

    HomeBt = new QPushButton("Web page", TextPanel);
    HomeBt->setObjectName("HomeBt");
    HomeBt->setGeometry(250 - 8 - 80 - 6 - 80, 110 - 8 - 26, 80, 26);
    HomeBt->setToolTip(HomeHint);
    HomeBt->setToolTipDuration(10000);
    HomeBt->setDefault(true);
    connect(HomeBt, &QPushButton::clicked, this, &TAboutForm::HomeBtClick);
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
    BakImage->setPixmap(QPixmap::fromImage(PaintBakImage(TextPanel->width(), TextPanel->height())));
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
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
