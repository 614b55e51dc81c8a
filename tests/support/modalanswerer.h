#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QWidget;

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

} // namespace sondrel::test
