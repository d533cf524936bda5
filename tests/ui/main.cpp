// Entry of karvelo_ui_tests: one QApplication for every window test suite.
#include <QApplication>

#include "uitests.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  failures += RunMainWindowTests(argc, argv);
  failures += RunRunLifecycleTests(argc, argv);
  failures += RunInfoWindowTests(argc, argv);
  failures += RunWidgetTests(argc, argv);
  failures += RunDataConfigurationTests(argc, argv);
  failures += RunConfigFileTests(argc, argv);
  failures += RunGraphicalAnalysisTests(argc, argv);
  failures += RunBayesMapTests(argc, argv);
  failures += RunValidationTests(argc, argv);
  failures += RunExampleTourTests(argc, argv);
  failures += RunReadabilityTests(argc, argv);
  failures += RunMapViewerTests(argc, argv);
  failures += RunRasterTests(argc, argv);
  failures += RunInsightTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
