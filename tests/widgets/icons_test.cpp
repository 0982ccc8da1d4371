#include <QColor>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include <vector>

namespace {

const QDir iconsDir(QStringLiteral(BRELLIS_ICONS_DIR));

struct ImageCase {
  const char *file;
  QSize size;
};

TEST(Icons, QtLoadsEveryImageBesideTheExecutables) {
  const std::vector<ImageCase> cases = {
      {"OSTRA LOGO4.gif", {133, 100}},
      {"redlight.bmp", {16, 16}},
      {"greenlight.bmp", {16, 16}},
      {"hicolor/16x16/apps/brellis.png", {16, 16}},
      {"hicolor/32x32/apps/brellis.png", {32, 32}},
      {"hicolor/48x48/apps/brellis.png", {48, 48}},
      {"hicolor/64x64/apps/brellis.png", {64, 64}},
      {"hicolor/128x128/apps/brellis.png", {128, 128}},
      {"hicolor/256x256/apps/brellis.png", {256, 256}},
  };
  for (const ImageCase &c : cases) {
    QPixmap pixmap;
    EXPECT_TRUE(pixmap.load(iconsDir.filePath(c.file))) << c.file;
    EXPECT_EQ(pixmap.size(), c.size) << c.file;
  }
}

// Colours at known places catch a swapped file, reversed BMP channel order or a GIF whose
// compressed data decodes to the wrong pixels.
TEST(Icons, ImagesDecodeToTheirColours) {
  const QImage red(iconsDir.filePath(QStringLiteral("redlight.bmp")));
  const QImage green(iconsDir.filePath(QStringLiteral("greenlight.bmp")));
  ASSERT_FALSE(red.isNull());
  ASSERT_FALSE(green.isNull());
  const QColor r = red.pixelColor(9, 10);
  const QColor g = green.pixelColor(9, 10);
  EXPECT_GT(r.red(), r.green() + 50);
  EXPECT_GT(r.red(), r.blue() + 50);
  EXPECT_GT(g.green(), g.red() + 50);
  EXPECT_GT(g.green(), g.blue() + 50);

  const QImage logo(iconsDir.filePath(QStringLiteral("OSTRA LOGO4.gif")));
  ASSERT_FALSE(logo.isNull());
  const QColor corner = logo.pixelColor(0, 0);   // outside the rounded card: white
  const QColor liquid = logo.pixelColor(20, 62); // the flask's green liquid, low left
  const QColor card = logo.pixelColor(5, 50);    // the card left of the flask
  EXPECT_EQ(corner, QColor(Qt::white));
  EXPECT_GT(liquid.green(), liquid.red() + 60);
  EXPECT_GT(card.lightness(), 230);
  // The bottom right pixel is the last one in the compressed stream.
  EXPECT_EQ(logo.pixelColor(132, 99), QColor(Qt::white));
}

} // namespace
