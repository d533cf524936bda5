// The window test suites of karvelo_ui_tests, run one after the other by main().
#pragma once

int RunMainWindowTests(int argc, char** argv);
int RunRunLifecycleTests(int argc, char** argv);
int RunInfoWindowTests(int argc, char** argv);
int RunWidgetTests(int argc, char** argv);
int RunDataConfigurationTests(int argc, char** argv);
int RunConfigFileTests(int argc, char** argv);
int RunGraphicalAnalysisTests(int argc, char** argv);
int RunBayesMapTests(int argc, char** argv);
int RunValidationTests(int argc, char** argv);
int RunExampleTourTests(int argc, char** argv);
int RunReadabilityTests(int argc, char** argv);
int RunMapViewerTests(int argc, char** argv);
int RunRasterTests(int argc, char** argv);
int RunInsightTests(int argc, char** argv);
