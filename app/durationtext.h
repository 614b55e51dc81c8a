#pragma once

#include <QString>

class QWidget;

namespace sondrel {

// SecToHms as the windows show it: a refused (negative) argument shows the refusal
// message once and gives the empty text, which callers join into their captions.
QString shownSecToHms(double sec, QWidget *parent = nullptr);

} // namespace sondrel
