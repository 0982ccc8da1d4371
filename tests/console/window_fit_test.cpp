// The main window on screens smaller and larger than it: every control within reach of the mouse
// and the keyboard, and the "calibration due" marks whole beside their displays.
#include "frm_main_fixture.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTest>

#include <vector>

namespace {

using Fit = FrmMainFixture;

// The controls an operator works, by their own names (not the parts inside a spin box or a combo
// box, whose names Qt gives).
std::vector<QWidget *> controlsIn(QWidget *content) {
  std::vector<QWidget *> controls;
  for (QWidget *w : content->findChildren<QWidget *>()) {
    const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QAbstractSlider *>(w) ||
                         qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QComboBox *>(w) ||
                         w->objectName() == QLatin1String("CWGraph1");
    if (control && w->isVisibleTo(content) && !w->objectName().isEmpty() &&
        !w->objectName().startsWith("qt_"))
      controls.push_back(w);
  }
  return controls;
}

QRect inViewport(QScrollArea *scroll, QWidget *w) {
  return QRect(w->mapTo(scroll->viewport(), QPoint(0, 0)), w->size());
}

// Every "calibration due" mark shows whole inside its parent and off its display's digits.
void expectMarksWhole(QWidget &window) {
  int marks = 0;
  for (QLabel *mark : window.findChildren<QLabel *>()) {
    if (!mark->objectName().endsWith("CalDue") || mark->isHidden())
      continue;
    ++marks;
    const QString display = mark->objectName().chopped(6);
    auto *reading = window.findChild<QLabel *>(display);
    ASSERT_TRUE(reading) << display.toStdString();
    EXPECT_TRUE(mark->parentWidget()->rect().contains(mark->geometry()))
        << display.toStdString() << " mark cut off at the bottom of its area";
    EXPECT_FALSE(QRect(mark->mapTo(&window, QPoint()), mark->size())
                     .intersects(QRect(reading->mapTo(&window, QPoint()), reading->size())))
        << display.toStdString();
  }
  EXPECT_EQ(marks, 4) << "both probes are due with the default calibration date";
}

TEST_F(Fit, OnALaptopScreenTheWindowFitsAndEveryControlIsReachable) {
  // 1366 x 768 with a 32-pixel panel at the top.
  const QRect available(0, 32, 1366, 736);
  window->fitToScreen(available);
  window->move(available.topLeft());
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  EXPECT_TRUE(available.contains(window->frameGeometry()))
      << window->frameGeometry().width() << " x " << window->frameGeometry().height();
  auto *scroll = find<QScrollArea>("scrollMain");
  ASSERT_TRUE(scroll);
  ASSERT_GT(scroll->verticalScrollBar()->maximum(), 0) << "nothing to scroll: the test tests none";
  EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << "the areas are as wide as designed";

  // The mouse: each control can be scrolled wholly into view (scrolled down until its bottom
  // edge shows; the bar stops at its ends).
  const std::vector<QWidget *> controls = controlsIn(scroll->widget());
  ASSERT_GT(controls.size(), 30u);
  for (QWidget *control : controls) {
    const int bottom = control->mapTo(scroll->widget(), QPoint(0, control->height())).y();
    scroll->verticalScrollBar()->setValue(bottom - scroll->viewport()->height());
    EXPECT_TRUE(scroll->viewport()->rect().contains(inViewport(scroll, control)))
        << control->objectName().toStdString() << " at " << inViewport(scroll, control).y()
        << " + " << control->height() << " in " << scroll->viewport()->height();
  }

  // The keyboard: Tab reaches every control that takes the focus (a group of options by its
  // chosen one), and the window scrolls to show it.
  scroll->verticalScrollBar()->setValue(0);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QWidget *first = find<QWidget>("cwbFlow");
  first->setFocus(Qt::TabFocusReason);
  QSet<QWidget *> reached;
  for (int presses = 0; presses < 400; ++presses) {
    QWidget *focused = QApplication::focusWidget();
    ASSERT_TRUE(focused);
    if (scroll->widget()->isAncestorOf(focused)) {
      EXPECT_TRUE(scroll->viewport()->rect().contains(inViewport(scroll, focused)))
          << focused->objectName().toStdString() << " has the focus out of sight";
    }
    reached.insert(focused);
    QTest::keyClick(focused, Qt::Key_Tab);
    if (QApplication::focusWidget() == first)
      break;
  }
  for (QWidget *control : controls) {
    if (!(control->focusPolicy() & Qt::TabFocus))
      continue;
    auto *option = qobject_cast<QRadioButton *>(control);
    if (option && !option->isChecked())
      continue;
    QSet<QWidget *> inside{control};
    for (QWidget *part : control->findChildren<QWidget *>())
      inside.insert(part); // a spin box takes the focus in its line edit
    EXPECT_TRUE(reached.intersects(inside)) << control->objectName().toStdString();
  }
  expectMarksWhole(*window);
}

TEST_F(Fit, OnALargeScreenNothingScrollsAndTheMarksStayWhole) {
  for (const QSize size : {QSize(0, 0), QSize(1590, 1150)}) {
    window->fitToScreen(QRect(0, 0, 1920, 1200));
    if (!size.isEmpty())
      window->resize(size);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto *scroll = find<QScrollArea>("scrollMain");
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    EXPECT_EQ(scroll->widget()->size(), scroll->viewport()->size());
    expectMarksWhole(*window);
  }
}

} // namespace

namespace {

TEST_F(Fit, SimulatedModulesAreSaidInAPanelAfterTheFourAndOnlyThen) {
  EXPECT_EQ(window->findChild<QLabel *>("PanelSimulated"), nullptr);
  FrmMainServices simulated = services();
  simulated.simulated = true;
  line.setOpen(false);
  window = std::make_unique<frmMain>(line, clock, std::move(simulated));
  ASSERT_TRUE(window->load());
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  auto *panel = find<QLabel>("PanelSimulated");
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->text(), "Simulated modules");
  EXPECT_TRUE(panel->isVisible());
  const auto left = [&](const char *name) { return find<QWidget>(name)->mapTo(window.get(), QPoint()).x(); };
  EXPECT_LT(left("Panel4"), left("PanelSimulated"));
  EXPECT_LT(left("PanelSimulated"), left("cmdAlarms"));
}

} // namespace
