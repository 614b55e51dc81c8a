#pragma once

#include <QDialog>
#include <QKeyEvent>

namespace sondrel {

// A modal dialog of the programs: it has no cancel (Esc) button, so Esc does nothing;
// only its own buttons or the close box end it.
class ClassicDialog : public QDialog
{
public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }
};

} // namespace sondrel
