#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

// Small pieces of the wizard window that keep its layout whole at any width.
namespace sonavelt::app {

// A one-line label that, when narrower than its text, shows the text
// shortened in the middle ("Absolute URL for a-very-lo…g-name.htm:"), with
// the whole text as its tool tip. text() is always the whole text, "&"
// mnemonics included. It asks for little width, so a long text never widens
// its window.
class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // The text as drawn at the label's present width ("&" marks kept).
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateToolTip(const QString& shown);
};

// The banner across the top of a window: the picture at its left, its last
// column drawn on across the rest of the width, so the window may grow.
class BannerStrip : public QWidget {
  Q_OBJECT

 public:
  BannerStrip(QPixmap picture, int height, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
  // The picture's right part (its waves), as it is and mirrored: beyond the
  // picture they follow each other, so the strip fills any width with no
  // seam.
  QPixmap tail_;
  QPixmap tail_mirrored_;
  int height_;
};

}  // namespace sonavelt::app
