#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace sonavelt::app {

// The program icon and the banner picture, built into the program.
QIcon ProgramIcon();
// The banner drawn at the given height, its width in proportion.
QPixmap BannerPixmap(int height);

}  // namespace sonavelt::app
