#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

class QAbstractButton;

namespace sondrel::test {

// Answers the modal message boxes that an action opens: records each box's caption and
// text and presses its OK button. Start it before the click that opens the boxes; it
// keeps answering until it is destroyed or stop() is called.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit ModalAnswerer(QObject *parent = nullptr);
    ~ModalAnswerer() override;

    QStringList texts() const { return m_texts; }
    QStringList titles() const { return m_titles; }
    QString lastText() const { return m_texts.isEmpty() ? QString() : m_texts.last(); }
    int count() const { return int(m_texts.size()); }
    void stop();

    // Waits until `n` boxes have been answered, or the timeout (ms) has run out.
    bool waitFor(int n, int timeout = 5000);

    // Closes whatever modal window is still open (for a test's cleanup()).
    static void closeLeftovers();

private:
    void poll();

    QTimer m_timer;
    QStringList m_texts;
    QStringList m_titles;
};

// Clicks `opener` and runs `act` on the modal window it opens, once that window is active
// and holds the keyboard focus. Whatever `act` leaves open is closed afterwards, so that a
// failing check cannot hang the test. False when no modal window came up.
bool onModal(QAbstractButton *opener, const std::function<void(QWidget *)> &act);

// onModal for a dialog of the given class: false when no such dialog came up.
template <typename Dialog>
bool onDialog(QAbstractButton *opener, const std::function<void(Dialog *)> &act)
{
    bool reached = false;
    onModal(opener, [&](QWidget *window) {
        if (auto *dialog = qobject_cast<Dialog *>(window)) {
            reached = true;
            act(dialog);
        }
    });
    return reached;
}

} // namespace sondrel::test
