#include "infoform.h"

#include "qzsammlung.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The program's emblem: two folders facing each other, joined by arrows both ways. size is in device-
// independent pixels; the pixmap has a pixel for each of the screen's.
QPixmap emblem(int size, qreal pixelRatio)
{
    QPixmap pixmap(QSize(size, size) * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x6f, 0xb5));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    auto folder = [&](qreal x) {
        QPainterPath path;
        path.moveTo(x, 22);
        path.lineTo(x + 7, 22);
        path.lineTo(x + 10, 25);
        path.lineTo(x + 20, 25);
        path.lineTo(x + 20, 44);
        path.lineTo(x, 44);
        path.closeSubpath();
        p.setBrush(QColor(0xf6, 0xc3, 0x4a));
        p.drawPath(path);
    };
    folder(6);
    folder(38);
    QPen arrow(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(arrow);
    p.drawLine(QPointF(27, 30), QPointF(37, 30));
    p.drawPolyline(QPolygonF({QPointF(34, 27), QPointF(37, 30), QPointF(34, 33)}));
    p.drawLine(QPointF(27, 38), QPointF(37, 38));
    p.drawPolyline(QPolygonF({QPointF(30, 35), QPointF(27, 38), QPointF(30, 41)}));
    return pixmap;
}

} // namespace

QString VersionText(int major, int minor, int revision)
{
    QString text = QStringLiteral(" (V%1.%2").arg(major).arg(minor);
    if (revision > 99)
        text += QChar(char16_t(std::nearbyint(revision / 100.0 + 96)));
    return text + u')';
}

QPoint InfoPlacement(QSize screen, QSize window)
{
    if (screen.width() <= 640 || screen.height() <= 480)
        return QPoint(0, 0);
    return QPoint(QZSAMMLUNG::CenteredOffset(screen.width(), window.width()),
                  QZSAMMLUNG::CenteredOffset(screen.height(), window.height()));
}

InfoForm::InfoForm(QWidget *parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QZSAMMLUNG::ProgramIcon());
    setModal(false);
    Label = new QLabel(this);
    Label->setWordWrap(true);
    Label->setTextFormat(Qt::PlainText);
    Label->setMinimumWidth(qRound(53 * QZSAMMLUNG::LetterWidth(this))); // 320 pixels in the design font
    Image1 = new QLabel(this);
    Image1->setPixmap(emblem(64, devicePixelRatioF()));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);
    Btn[1] = new QPushButton(this);
    Btn[3] = new QPushButton(this);
    connect(Btn[1], &QPushButton::clicked, this, &InfoForm::visitVendor);
    connect(Btn[3], &QPushButton::clicked, this, &QDialog::close);
    // Enter closes, as Escape does; the web site only opens on purpose.
    Btn[1]->setAutoDefault(false);
    Btn[3]->setDefault(true);

    auto *top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addWidget(Label, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Btn[1]);
    buttons->addStretch();
    buttons->addWidget(Btn[3]);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    Form_Load();
}

void InfoForm::Form_Load()
{
    const QString address = QString::fromLatin1(QZSAMMLUNG::VendorAddress);
    setWindowTitle(QStringLiteral("Kalmora") + QStringLiteral(" - Info"));
    Btn[1]->setText(QStringLiteral("Norvane besuchen"));
    Btn[1]->setToolTip(QStringLiteral("... startet Ihren Internet-Browser mit dem Ziel ") + address);
    Btn[3]->setText(QStringLiteral("&Schliessen"));
    Btn[3]->setToolTip(QStringLiteral("... bringt Sie zurück zum Programm"));
    Label->setText(QStringLiteral("Kalmora") +
                   VersionText(KALMORA_VERSION_MAJOR, KALMORA_VERSION_MINOR, KALMORA_VERSION_PATCH) +
#ifdef Q_OS_WIN
                   QStringLiteral(" – Verzeichnisvergleiche unter Windows leicht gemacht") + QStringLiteral("\n\n") +
#else
                   QStringLiteral(" – Verzeichnisvergleiche unter Linux leicht gemacht") + QStringLiteral("\n\n") +
#endif
                   QStringLiteral("Kalmora gehört zu einer ganzen Serie von nützlichen, kleinen Helfern im PC-Alltag. "
                                  "Interesse? Weitere Infos gibt es im Internet unter ") +
                   address +
                   QStringLiteral(". Mit einem Klick auf den Taster links unten können Sie sich direkt verbinden "
                                  "lassen ..."));
    adjustSize();
    const QRect screen = this->screen()->geometry();
    move(screen.topLeft() + InfoPlacement(screen.size(), frameGeometry().size()));
}

void InfoForm::visitVendor()
{
    if (QZSAMMLUNG::OpenVendorSite())
        return;
    Q_EMIT message(QStringLiteral("Die Internetseite von Norvane konnte nicht angezeigt werden: Es ist kein "
                                  "Programm zum Anzeigen von Internetseiten eingerichtet.") +
                   QChar(u'\r') + QStringLiteral("Sie finden sie unter der Adresse '") +
                   QString::fromLatin1(QZSAMMLUNG::VendorAddress) + QStringLiteral("'."));
}

bool InfoForm::event(QEvent *event)
{
    // On another screen the emblem is drawn again, for its pixels: sharp at any scale factor.
    if (event->type() == QEvent::ScreenChangeInternal)
        Image1->setPixmap(emblem(64, devicePixelRatioF()));
    return QDialog::event(event);
}

bool InfoForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        visitVendor();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
