#include "app/window/window_prep.h"

#include "app/texts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPalette>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>

namespace tallyhive {

bool FileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString programFolder()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
}

void CentreOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = window.frameGeometry().size();
    window.move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void ApplyFaceColours(QWidget& window)
{
    const QColor face = window.palette().color(QPalette::Button);
    const auto paint = [&face](QWidget* widget) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, face);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    };
    paint(&window);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) || qobject_cast<QGroupBox*>(child)
            || qobject_cast<QLabel*>(child))
            paint(child);
    }
}

void PaintWhite(QLabel& label)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, Qt::white);
    label.setPalette(palette);
    label.setAutoFillBackground(true);
}

void ApplyProgramIcon(QWidget& window)
{
    // The installed icon where the program is installed; a drawn mark when it
    // runs from its build tree.
    static const QIcon icon = QIcon::fromTheme(texts::DesktopName, [] {
        QPixmap image(64, 64);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x1f, 0x6f, 0x4a));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(40);
        painter.setFont(font);
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("T"));
        return QIcon(image);
    }());
    window.setWindowIcon(icon);
}

}  // namespace tallyhive
