#pragma once

#include "classicdialog.h"

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

// The About box: product name, version, author, web site and e-mail, the logo and two
// notes to the user. Fixed texts only; the web site and e-mail are set at build time.
class FrmAbout : public ClassicDialog
{
    Q_OBJECT

public:
    explicit FrmAbout(QWidget *owner = nullptr);

    QLabel *Label2;
    QLineEdit *Text1;
    QLabel *Label3;
    QLineEdit *Text5;
    QLabel *Label5;
    QLineEdit *Text4;
    QLabel *Label8;
    QLineEdit *Text3;
    QLabel *Label10;
    QLineEdit *Text2;
    QLabel *Image1;
    QPushButton *BtnOK;
    QFrame *Line1;
    QLabel *Label1;
    QLabel *Label4;

    // Opens centred on the screen, whoever owns it.
    void setVisible(bool visible) override;
};

} // namespace sondrel
