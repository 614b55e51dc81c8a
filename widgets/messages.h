#pragma once

#include <QString>

#include <utility>

#include "platformerror.h"

class QWidget;

namespace sondrel {

// Every message of the programs: modal, OK only, no icon, the application name
// ("Sondrel" or "VemoSetup") as caption.
void showMessage(QWidget *parent, const QString &text);

// The run-time error report: the error's number and description, in the same form.
void showRunTimeError(QWidget *parent, const PlatformError &error);

// Runs one user action. A platform failure inside it ends the action, not the program:
// the report is shown and false is returned.
template <typename Action> bool runGuarded(QWidget *parent, Action &&action)
{
    try {
        std::forward<Action>(action)();
        return true;
    } catch (const PlatformError &error) {
        showRunTimeError(parent, error);
        return false;
    }
}

// The hourglass pointer for as long as the object lives.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
    // Gives the default pointer back before the object ends (idempotent).
    void restore();

private:
    bool m_active = true;
};

} // namespace sondrel
