#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace sonavelt::app {

// The program icon and the banner picture, built into the program.
QIcon ProgramIcon();
// The banner drawn at the given height, its width in proportion.
QPixmap BannerPixmap(int height);

// Names the running program as the wizard (organisation, name, version,
// desktop entry, icon): the settings file and the window's identity follow.
// Needs a QApplication.
void SetProgramIdentity();

}  // namespace sonavelt::app
