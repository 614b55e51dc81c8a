#include "ui.h"

#include <QDir>
#include <QFontDatabase>
#include <QWidget>

#include <cmath>

namespace sondrel {

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void sizeTwips(QWidget *window, int width, int height)
{
    window->setFixedSize(twips(width), twips(height));
}

namespace {

QFont designFont(const QString &family, double points, bool bold)
{
    QFont font(family);
    font.setPixelSize(int(std::lround(points * 96.0 / 72.0)));
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

QFont tahoma(double points, bool bold)
{
    return designFont(QStringLiteral("Tahoma"), points, bold);
}

QFont msSansSerif(double points)
{
    return designFont(QStringLiteral("MS Sans Serif"), points, false);
}

void loadFallbackFonts()
{
    const QStringList families = QFontDatabase::families();
    const QDir wineFonts(QStringLiteral("/usr/share/wine/fonts"));
    const struct
    {
        const char *family;
        const char *files[2];
    } wanted[] = {
        {"Tahoma", {"tahoma.ttf", "tahomabd.ttf"}},
        {"MS Sans Serif", {"ms_sans_serif.ttf", nullptr}},
    };
    for (const auto &font : wanted) {
        if (families.contains(QLatin1String(font.family), Qt::CaseInsensitive))
            continue;
        for (const char *file : font.files) {
            if (file && wineFonts.exists(QLatin1String(file)))
                QFontDatabase::addApplicationFont(wineFonts.filePath(QLatin1String(file)));
        }
    }
}

} // namespace sondrel
