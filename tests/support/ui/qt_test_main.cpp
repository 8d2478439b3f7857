// main() of the window tests: one QApplication for the whole binary, on the offscreen platform
// unless the environment chooses another (a real desktop under Xvfb, say). Without a runtime
// folder Qt would make a shared one in the temporary folder: each test process gets its own.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/test_files.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  parvolin::test::TempFolder runtime;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.path().string()));
  int status = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  return status;
}
