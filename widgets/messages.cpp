#include "messages.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>

namespace sondrel {

void showMessage(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("MsgBox"));
    box.exec();
}

void showRunTimeError(QWidget *parent, const PlatformError &error)
{
    showMessage(parent, QStringLiteral("Run-time error '%1':\n\n%2")
                            .arg(error.number())
                            .arg(QString::fromStdString(error.description())));
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    restore();
}

void WaitCursor::restore()
{
    if (m_active) {
        m_active = false;
        QApplication::restoreOverrideCursor();
    }
}

} // namespace sondrel
