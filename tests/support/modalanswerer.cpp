#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>

namespace sondrel::test {

ModalAnswerer::ModalAnswerer(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::stop()
{
    m_timer.stop();
}

void ModalAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_texts << box->text();
    m_titles << box->windowTitle();
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}

bool ModalAnswerer::waitFor(int n, int timeout)
{
    return QTest::qWaitFor([&] { return count() >= n; }, timeout);
}

void ModalAnswerer::closeLeftovers()
{
    for (int i = 0; i < 10; ++i) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        QApplication::processEvents();
    }
}

bool onModal(QAbstractButton *opener, const std::function<void(QWidget *)> &act)
{
    bool reached = false;
    QTimer::singleShot(0, [&] {
        if (QWidget *window = QApplication::activeModalWidget()) {
            reached = true;
            const bool active = QTest::qWaitForWindowActive(window) && QTest::qWaitFor([window] {
                                    QWidget *focus = QApplication::focusWidget();
                                    return focus && focus->window() == window;
                                });
            if (!active)
                qWarning("the dialog did not become active");
            act(window);
        }
        ModalAnswerer::closeLeftovers();
    });
    QTest::mouseClick(opener, Qt::LeftButton);
    return reached;
}

} // namespace sondrel::test
