#include "frmabout.h"

#include "controls.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#ifndef SONDREL_WEBSITE
#define SONDREL_WEBSITE ""
#endif
#ifndef SONDREL_EMAIL
#define SONDREL_EMAIL ""
#endif

namespace sondrel {

namespace {

// A read-only field on the scroll-bar colour.
QLineEdit *field(QWidget *parent, const char *name, const QString &text)
{
    auto *box = makeControl<QLineEdit>(parent, name, text);
    box->setReadOnly(true);
    QPalette colours = box->palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Midlight));
    box->setPalette(colours);
    box->setCursorPosition(0);
    return box;
}

} // namespace

FrmAbout::FrmAbout(QWidget *owner) : ClassicDialog(owner)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("About Sondrel"));
    setWindowFlags(classicWindowFlags(WindowKind::Dialog));
    setFont(tahoma());
    sizeTwips(this, 5505, 3030);

    Label2 = makeControl<QLabel>(this, "Label2", QStringLiteral("Product Name"));
    placeTwips(Label2, 120, 120, 1095, 255);
    Text1 = field(this, "Text1", QStringLiteral(" Sondrel"));
    placeTwips(Text1, 1440, 120, 2535, 285);

    Label3 = makeControl<QLabel>(this, "Label3", QStringLiteral("Version"));
    placeTwips(Label3, 120, 480, 1095, 255);
    Text5 = field(this, "Text5", QStringLiteral(" 1.0"));
    placeTwips(Text5, 1440, 480, 2535, 285);

    Label5 = makeControl<QLabel>(this, "Label5", QStringLiteral("Author"));
    placeTwips(Label5, 120, 840, 1095, 255);
    Text4 = field(this, "Text4", QStringLiteral(" The Sondrel authors"));
    placeTwips(Text4, 1440, 840, 2535, 285);

    Label8 = makeControl<QLabel>(this, "Label8", QStringLiteral("Website"));
    placeTwips(Label8, 120, 1200, 1095, 255);
    Text3 = field(this, "Text3", QLatin1Char(' ') + QString::fromUtf8(SONDREL_WEBSITE));
    placeTwips(Text3, 1440, 1200, 2535, 285);

    Label10 = makeControl<QLabel>(this, "Label10", QStringLiteral("e-mail"));
    placeTwips(Label10, 120, 1560, 1095, 255);
    Text2 = field(this, "Text2", QLatin1Char(' ') + QString::fromUtf8(SONDREL_EMAIL));
    placeTwips(Text2, 1440, 1560, 2535, 285);

    Image1 = makeControl<QLabel>(this, "Image1");
    Image1->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(Image1, 4080, 120, 1350, 555);

    BtnOK = makeButton(this, "BtnOK", QStringLiteral("OK"));
    placeTwips(BtnOK, 4200, 840, 1095, 495);

    Line1 = makeControl<QFrame>(this, "Line1");
    Line1->setFrameStyle(QFrame::HLine | QFrame::Plain);
    Line1->setLineWidth(1);
    Line1->setGeometry(0, twips(1920), twips(5520), 1);

    Label1 = makeControl<QLabel>(
        this, "Label1",
        QStringLiteral("Please send comments, critics, suggestions, questions and "
                       "bugs to my e-mail. Thanks!"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(Label1, 120, 2040, 5295, 375);

    Label4 = makeControl<QLabel>(
        this, "Label4",
        QStringLiteral("If you've found the software useful and want to donate any "
                       "value, please check the website to see how you can do that. "
                       "Thanks again!"));
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(Label4, 120, 2520, 5295, 495);

    QWidget::setTabOrder(BtnOK, Text1);
    QWidget::setTabOrder(Text1, Text2);
    QWidget::setTabOrder(Text2, Text3);
    QWidget::setTabOrder(Text3, Text4);
    QWidget::setTabOrder(Text4, Text5);
    BtnOK->setFocus();

    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void FrmAbout::setVisible(bool visible)
{
    // Centred on the screen of its owner rather than on the owner, as dialogs would be.
    if (visible && !isVisible()) {
        const QScreen *screen = parentWidget() ? parentWidget()->screen() : this->screen();
        QRect area(QPoint(), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    QDialog::setVisible(visible);
}

} // namespace sondrel
