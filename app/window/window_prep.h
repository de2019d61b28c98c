#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QWidget;

// Preparation shared by the program's windows.
namespace tallyhive {

// True when the file's last-modified time can be read; never reports.
bool FileExists(const QString& path);

// The folder that holds the program file.
QString programFolder();

// Places the window in the middle of its screen.
void CentreOnScreen(QWidget& window);

// The window's background and that of its option buttons, check boxes,
// frames and labels get the system's button-face colour.
void ApplyFaceColours(QWidget& window);

// The program's icon, as every window shows it.
void ApplyProgramIcon(QWidget& window);

// Twips (1/1440 inch) to pixels at 96 dots per inch, and back.
constexpr int twipsToPixels(int twips) { return twips / 15; }
constexpr int pixelsToTwips(int pixels) { return pixels * 15; }

// A control's place given in twips, as the windows are designed.
inline QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// The count labels stand out on a white background.
void PaintWhite(QLabel& label);

}  // namespace tallyhive
