#include "durationtext.h"

#include "messages.h"
#include "nextsteps.h"

namespace sondrel {

QString shownSecToHms(double sec, QWidget *parent)
{
    const std::optional<QString> text = SecToHms(sec);
    if (!text) {
        showMessage(parent, negativeSecondsMessage());
        return QString();
    }
    return *text;
}

} // namespace sondrel
