// Draws every control in a few states into one PNG, for looking at:  widgets_gallery out.png
// Or shows an image file four times enlarged as PNG:  widgets_gallery --enlarge in.gif out.png
#include "widgets/knob.h"
#include "widgets/numeric_display.h"
#include "widgets/numeric_entry.h"
#include "widgets/position_selector.h"
#include "widgets/slide_gauge.h"
#include "widgets/two_state_switch.h"

#include <QApplication>
#include <QGridLayout>
#include <QImage>
#include <QLabel>

using namespace widgets;

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc == 4 && QString(argv[1]) == "--enlarge") {
    const QImage image(QString::fromLocal8Bit(argv[2]));
    return !image.isNull() && image.scaled(image.size() * 4).save(argv[3]) ? 0 : 1;
  }
  QWidget window;
  auto *grid = new QGridLayout(&window);

  auto *ph = new TwoStateSwitch("Enable DGH", "Disable DGH");
  ph->setLightVisible(true);
  auto *phOn = new TwoStateSwitch("Enable DGH", "Disable DGH");
  phOn->setLightVisible(true);
  phOn->setChecked(true);
  auto *flow = new TwoStateSwitch("Start", "Stop");
  flow->setGreenFaceWhenOn(true);
  auto *flowOn = new TwoStateSwitch("Start", "Stop");
  flowOn->setGreenFaceWhenOn(true);
  flowOn->setChecked(true);
  grid->addWidget(ph, 0, 0);
  grid->addWidget(phOn, 0, 1);
  grid->addWidget(flow, 0, 2);
  grid->addWidget(flowOn, 0, 3);

  auto *therm = new SlideGauge(Qt::Horizontal);
  therm->setAxisRange(5, 25);
  therm->setMinMaxMarkersVisible(true);
  for (double v : {19.5, 23.75, 21.46})
    therm->setGaugeValue(v);
  grid->addWidget(therm, 1, 0, 1, 3);
  auto *outside = new SlideGauge(Qt::Horizontal);
  outside->setAxisRange(5, 25);
  outside->setMinMaxMarkersVisible(true);
  outside->setGaugeValue(31);
  grid->addWidget(outside, 2, 0, 1, 3);
  auto *flowGauge = new SlideGauge(Qt::Vertical);
  flowGauge->setAxisRange(0, 5);
  flowGauge->setCaption("L/min");
  flowGauge->setGaugeValue(1.04);
  grid->addWidget(flowGauge, 1, 3, 4, 1);

  auto *max = new Knob(0, 30, "Max.");
  max->setValue(25);
  auto *min = new Knob(0, 20, "Min.");
  min->setValue(0);
  grid->addWidget(max, 3, 0);
  grid->addWidget(min, 3, 1);
  auto *mode = new PositionSelector(1, {"Pan", "Cur", ""}, Qt::Horizontal);
  mode->setValue(2);
  grid->addWidget(mode, 3, 2);
  auto *modeV = new PositionSelector(1, {"Pan", "Cur", ""}, Qt::Vertical);
  grid->addWidget(modeV, 4, 2);

  auto *entry = new NumericEntry;
  entry->setValue(-0.35);
  grid->addWidget(entry, 4, 0);
  grid->addWidget(new NumericDisplay("mV1", "lblmV", "2577.7", Qt::green), 5, 0);
  grid->addWidget(new NumericDisplay("pH2 (w/corr.)", "lblpH2WOS", "7.0512", Qt::red), 5, 1);
  grid->addWidget(new NumericDisplay("Total Liters", "liters", "000", Qt::green), 5, 2);

  window.resize(window.sizeHint().expandedTo(QSize(640, 0)));
  window.show();
  app.processEvents();
  return window.grab().save(argc > 1 ? argv[1] : "gallery.png") ? 0 : 1;
}
