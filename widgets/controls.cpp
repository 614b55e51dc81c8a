#include "controls.h"

#include "wrapbutton.h"

#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QWidget>

#include <algorithm>
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

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    return makeControl<WrapButton>(parent, name, caption);
}

QLineEdit *makeSettingBox(QWidget *parent, const char *name, const QString &text)
{
    auto *box = makeControl<QLineEdit>(parent, name, text);
    box->setReadOnly(true);
    QPalette colours = box->palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Button));
    box->setPalette(colours);
    return box;
}

Qt::WindowFlags classicWindowFlags(WindowKind kind)
{
    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    switch (kind) {
    case WindowKind::Main:
        return flags | Qt::Window | Qt::WindowMinimizeButtonHint;
    case WindowKind::SizableMain:
        return flags | Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
    case WindowKind::Dialog:
        break;
    }
    return flags | Qt::Dialog;
}

void Anchors::add(QWidget *control, unsigned follow)
{
    m_entries.push_back({control, control->geometry(), follow});
}

void Anchors::apply(QSize extra) const
{
    const int dx = std::max(extra.width(), 0);
    const int dy = std::max(extra.height(), 0);
    for (const Entry &entry : m_entries) {
        QRect place = entry.designed;
        place.translate(entry.follow & FollowsRight ? dx : 0,
                        entry.follow & FollowsBottom ? dy : 0);
        place.setWidth(place.width() + (entry.follow & GrowsWide ? dx : 0));
        place.setHeight(place.height() + (entry.follow & GrowsTall ? dy : 0));
        entry.control->setGeometry(place);
    }
}

void styleAsFrame(QGroupBox *box)
{
    // A style sheet stops the window's font from reaching the box and its controls, so
    // each of them is given the font it had before.
    QList<QWidget *> widgets = box->findChildren<QWidget *>();
    widgets.prepend(box);
    QList<QFont> fonts;
    for (const QWidget *widget : widgets) {
        // Every attribute set explicitly: an inherited font would give way to the
        // application's default once the box has a style sheet.
        QFont font = widget->font();
        font.setFamily(font.family());
        if (font.pixelSize() > 0)
            font.setPixelSize(font.pixelSize());
        else
            font.setPointSizeF(font.pointSizeF());
        font.setWeight(font.weight());
        font.setItalic(font.italic());
        fonts << font;
    }
    const QString name = box->objectName();
    box->setStyleSheet(
        QStringLiteral("QGroupBox#%1 { border: 1px solid palette(mid); margin-top: 6px; }"
                       "QGroupBox#%1::title { subcontrol-origin: margin; left: 6px;"
                       " padding: 0px; }")
            .arg(name));
    for (qsizetype i = 0; i < widgets.size(); ++i)
        widgets[i]->setFont(fonts[i]);
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
